// The converter on any file. The first byte chooses the file's name (the name
// decides the database name that a conversion writes). The conversion never
// changes a file's length; a refused file stays exactly as it was; a converted
// one differs only in the name, the reset-after-install bit, type and creator,
// and the type codes of its directory entries.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "checked_file.h"
#include "database_layout.h"
#include "recast_rules.h"
#include "require.h"
#include "scratch_files.h"
#include "skin_conversion.h"

namespace {

// The converter ends the process after the "Error" box; this stand-in for the
// box unwinds to the target instead, which is all that it needs to go on.
struct Refused {};

constexpr std::array<const char*, 5> kFileNames = {"Skin.prc", "StatusBarResources.prc", ".prc",
                                                   "A skin with a name longer than the field.pdb",
                                                   "no-extension"};

bool mayChange(std::size_t offset, std::size_t directoryEnd) {
    const bool name = offset < prc::kNameOffset + prc::kNameSize;
    const bool typeAndCreator =
        offset >= prc::kTypeOffset && offset < prc::kCreatorOffset + prc::kTypeCodeSize;
    const bool entryType = offset >= prc::kHeaderSize && offset < directoryEnd &&
                           (offset - prc::kHeaderSize) % prc::kDirectoryEntrySize <
                               prc::kEntryTypeOffset + prc::kTypeCodeSize;
    return name || typeAndCreator || entryType;
}

void checkConverted(std::span<const std::uint8_t> before, const std::vector<std::uint8_t>& after) {
    FUZZ_REQUIRE(after.size() == before.size());
    const std::size_t count =
        before[prc::kNumRecordsOffset] * 256u + before[prc::kNumRecordsOffset + 1];
    const std::size_t directoryEnd = prc::directoryEntryOffset(count);
    // The reset-after-install bit, in the attributes' low byte.
    const std::size_t attributesLowByte = prc::kAttributesOffset + 1;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (i == attributesLowByte) {
            FUZZ_REQUIRE(((after[i] ^ before[i]) & ~0x20) == 0 && (after[i] & 0x20) == 0);
        } else if (!mayChange(i, directoryEnd)) {
            FUZZ_REQUIRE(after[i] == before[i]);
        }
    }
    FUZZ_REQUIRE(std::memcmp(&after[prc::kTypeOffset], "rsrcT3sk", 8) == 0);
}

}  // namespace

namespace recast {

void showMessage(const char* title, const char*) {
    if (std::strcmp(title, "Error") == 0) {
        throw Refused{};
    }
}

FileChoice chooseExistingFile(const char*, char (&)[kPathBufferSize]) {
    return FileChoice::cancelled;
}

std::FILE* openForUpdate(const char* path) {
    return std::fopen(path, "r+b");
}

std::size_t handheldCharacter(char32_t character, std::uint8_t (&bytes)[2]) {
    return windows1252Character(character, bytes);
}

}  // namespace recast

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const firstReadFailureMessage = recast::readFailureMessage;
    if (size < 1) {
        return 0;
    }
    const std::filesystem::path path =
        fuzzfiles::scratchFolder() / kFileNames[data[0] % kFileNames.size()];
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    fuzzfiles::writeBytes(path, file);

    recast::readFailureMessage = firstReadFailureMessage;
    std::snprintf(recast::skinPath, sizeof recast::skinPath, "%s", path.c_str());
    recast::skinFile = std::fopen(recast::skinPath, "r+b");
    FUZZ_REQUIRE(recast::skinFile != nullptr);
    bool converted = false;
    try {
        recast::convertSkinInPlace();
        FUZZ_REQUIRE(std::fclose(recast::skinFile) == 0);
        recast::skinFile = nullptr;
        converted = true;
    } catch (const Refused&) {
        FUZZ_REQUIRE(recast::skinFile == nullptr);
    }
    const std::vector<std::uint8_t> after = fuzzfiles::readBytes(path);
    if (converted) {
        checkConverted(file, after);
    } else {
        FUZZ_REQUIRE(std::equal(after.begin(), after.end(), file.begin(), file.end()));
    }
    std::filesystem::remove(path);
    return 0;
}
