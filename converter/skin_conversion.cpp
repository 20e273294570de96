#include "skin_conversion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "byte_order.h"
#include "checked_file.h"
#include "database_layout.h"
#include "recast_platform.h"
#include "recast_rules.h"

namespace recast {
namespace {

using prc::kCreatorOffset;
using prc::kNameOffset;
using prc::kNumRecordsOffset;
using prc::kTypeOffset;

// The database header and two more bytes.
constexpr std::size_t kHeaderImageSize = prc::kHeaderSize + 2;
// The attributes are big-endian: their low byte comes second.
constexpr std::size_t kAttributesLowByte = prc::kAttributesOffset + 1;
constexpr std::uint8_t kResetAfterInstallMask = 0xDF;  // clears bit 0x0020

bool isWifiSkin = false;

void writeName(std::uint8_t* header, const char* name, std::size_t length) {
    std::memcpy(header + kNameOffset, name, length);
    header[kNameOffset + length] = '\0';  // later bytes of the field keep their values
}

void renameDatabase(std::uint8_t* header) {
    const std::string_view name = databaseNameFromPath(skinPath);
    if (name.empty()) {
        fatalError("The input filename is invalid.  Rename file to something saner.");
    }
    const bool statusBarName = name == "StatusBarResources";
    if (statusBarName || isWifiSkin) {
        char placeholder[kPlaceholderNameSize];
        const std::size_t length = formatPlaceholderName(!statusBarName, std::rand(), placeholder);
        writeName(header, placeholder, length);
    } else {
        char handheld[kMaxNameLength + 1];
        const std::size_t length = handheldName(name, handheldCharacter, handheld);
        writeName(header, handheld, length);
    }
}

// A directory that the file cannot hold would leave a half-converted file
// behind: refuse it while nothing has been written.
void requireWholeDirectory(const std::uint8_t* header) {
    const std::uint16_t count = byteorder::loadBigEndian16(header + kNumRecordsOffset);
    const auto directoryEnd = static_cast<long>(prc::directoryEntryOffset(count));
    if (std::fseek(skinFile, 0, SEEK_END) != 0 || std::ftell(skinFile) < directoryEnd) {
        fatalError("Error reading input file.");
    }
}

void writeTypeCode(std::int32_t position, const std::uint8_t* type) {
    seekExact(skinFile, position);
    if (std::fwrite(type, prc::kTypeCodeSize, 1, skinFile) != 1) {
        fatalError(kWritingStageMessage);
    }
}

}  // namespace

void convertSkinInPlace() {
    std::uint8_t header[kHeaderImageSize];
    if (std::fread(header, kHeaderImageSize, 1, skinFile) != 1) {
        fatalError("Error reading input file.");
    }
    const SkinKind kind = classifySkin(header + kTypeOffset, header + kCreatorOffset);
    if (kind == SkinKind::alreadyConverted) {
        fatalError("This skin has already been converted.");
    }
    isWifiSkin = kind == SkinKind::wifi;
    if (kind == SkinKind::unsupported) {
        fatalError("The input file is not a supported skin.");
    }
    header[kAttributesLowByte] &= kResetAfterInstallMask;
    renameDatabase(header);
    std::memcpy(header + kCreatorOffset, "T3sk", prc::kTypeCodeSize);
    std::memcpy(header + kTypeOffset, "rsrc", prc::kTypeCodeSize);
    requireWholeDirectory(header);

    seekExact(skinFile, 0);
    if (std::fwrite(header, kHeaderImageSize, 1, skinFile) != 1) {
        fatalError(kWritingStageMessage);
    }
    readFailureMessage = kWritingStageMessage;

    seekExact(skinFile, static_cast<std::int32_t>(kNumRecordsOffset));
    const std::uint16_t count = readBigEndian16(skinFile);
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto position = static_cast<std::int32_t>(std::ftell(skinFile));
        std::uint8_t type[5] = {};
        readTypeCode(skinFile, type);
        std::uint16_t id = readBigEndian16(skinFile);
        std::uint8_t newType[4];
        if (renamedEntryType(isWifiSkin, type, id, newType)) {
            writeTypeCode(position, newType);
            seekExact(skinFile, position);
            readTypeCode(skinFile, type);
            id = readBigEndian16(skinFile);
        }
        readBigEndian16(skinFile);  // the data offset stays as it is
        readBigEndian16(skinFile);
    }
}

int convertSkinFile(const char* path) {
    // A longer path could not have come from the dialog and would not fit.
    if (utf16Length(path) >= kPathCharacters) {
        fatalError("Error reading input file.");
    }
    std::memmove(skinPath, path, std::strlen(path) + 1);
    skinFile = openForUpdate(skinPath);
    if (skinFile == nullptr) {
        fatalError("Error reading input file.");
    }
    convertSkinInPlace();

    // Buffered writes reach the file only now: a failure here is a failure of
    // the writing stage, not a success.
    const bool flushed = std::fflush(skinFile) == 0;
    const bool closed = std::fclose(skinFile) == 0;
    skinFile = nullptr;
    if (!flushed || !closed) {
        fatalError(kWritingStageMessage);
    }
    showMessage("Success", "Conversion to Orvane format successful.");
    return 0;
}

}  // namespace recast
