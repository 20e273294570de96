// The whole compressor pass on any bytes as a database, through real files.
// The first byte chooses whether the output replaces the input. The pass
// succeeds exactly when the input reads as a database; a failure leaves the
// input as it was and makes no output; a success writes a database with the
// same resources in the same order, less the first id-0 'PlRC', each bitmap
// either as it was (with its one permitted byte rewritten) or as a smaller
// container that gives it back.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "compressed_bitmap.h"
#include "require.h"
#include "resource_database.h"
#include "scratch_files.h"
#include "skin_compression.h"
#include "skin_rules.h"

namespace {

bool isContainer(const std::vector<std::uint8_t>& data) {
    return data.size() >= 4 && std::equal(data.begin(), data.begin() + 4, "cBMP");
}

// The bitmap as it must come back: a removed 'PlRC' turns a byte 2 at offset
// 27 into 1, except in data that already are a container.
std::vector<std::uint8_t> expectedBitmap(std::vector<std::uint8_t> data, bool plrcRemoved) {
    if (plrcRemoved && !isContainer(data) && data.size() > 27 && data[27] == 2) {
        data[27] = 1;
    }
    return data;
}

void checkOutput(prc::ResourceTable input, const std::vector<std::uint8_t>& outputFile) {
    const auto settings = std::find_if(input.entries.begin(), input.entries.end(), [](auto& e) {
        return e.type == prc::typeCode("PlRC") && e.id == 0;
    });
    const bool plrcRemoved = settings != input.entries.end();
    if (plrcRemoved) {
        input.entries.erase(settings);
    }
    const prc::DatabaseParse output = prc::parseResourceDatabase(outputFile);
    FUZZ_REQUIRE(output.table.has_value());
    const auto& written = output.table->entries;
    FUZZ_REQUIRE(output.table->header.name == input.header.name &&
                 written.size() == input.entries.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        const prc::ResourceEntry& before = input.entries[i];
        const prc::ResourceEntry& after = written[i];
        FUZZ_REQUIRE(after.type == before.type && after.id == before.id);
        if (before.type != prc::typeCode("abmp")) {
            FUZZ_REQUIRE(after.data == before.data);
            continue;
        }
        const std::vector<std::uint8_t> bitmap = expectedBitmap(before.data, plrcRemoved);
        if (after.data == bitmap) {
            continue;
        }
        FUZZ_REQUIRE(skinrules::mayCompressBitmapId(after.id) && after.data.size() < bitmap.size());
        const bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(after.data);
        FUZZ_REQUIRE(decoded.error == nullptr && decoded.bytes == bitmap);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The pass reports on standard output; millions of reports help nobody.
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    FUZZ_REQUIRE(quiet);
    if (size < 1) {
        return 0;
    }
    const bool inPlace = (data[0] & 1) != 0;
    const std::span<const std::uint8_t> file(data + 1, size - 1);
    const std::filesystem::path inputPath = fuzzfiles::scratchFolder() / "input.prc";
    const std::filesystem::path outputPath =
        inPlace ? inputPath : fuzzfiles::scratchFolder() / "output.prc";
    std::filesystem::remove(outputPath);
    fuzzfiles::writeBytes(inputPath, file);

    const bool passed = tessel::compressSkinDatabase(inputPath.string(), outputPath.string());
    const prc::DatabaseParse input = prc::parseResourceDatabase(file);
    FUZZ_REQUIRE(passed == input.table.has_value());
    if (!passed) {
        const std::vector<std::uint8_t> left = fuzzfiles::readBytes(inputPath);
        FUZZ_REQUIRE(std::equal(left.begin(), left.end(), file.begin(), file.end()));
        FUZZ_REQUIRE(inPlace || !std::filesystem::exists(outputPath));
        return 0;
    }
    checkOutput(*input.table, fuzzfiles::readBytes(outputPath));
    return 0;
}
