#include "skin_compression.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>
#include <span>

#include "compressed_bitmap.h"
#include "encoder_workspace.h"
#include "resource_database.h"
#include "skin_rules.h"

namespace tessel {
namespace {

// Only the first id-0 'PlRC' resource goes; later ones are written like any
// other resource.
bool removeSettingsResource(prc::ResourceTable& table) {
    const auto found =
        std::find_if(table.entries.begin(), table.entries.end(), [](const prc::ResourceEntry& e) {
            return e.type == skinrules::kSettingsType && e.id == 0;
        });
    if (found == table.entries.end()) {
        return false;
    }
    table.entries.erase(found);
    return true;
}

// The totals are printed as signed 32-bit numbers; unsigned sums wrap the
// same way without overflowing.
int asPrinted(std::uint32_t value) {
    return static_cast<std::int32_t>(value);
}

bool compressDatabase(const std::string& inputPath, const std::string& outputPath,
                      const BitmapDone& bitmapDone) {
    std::uint32_t totalBefore = 0;
    std::uint32_t totalAfter = 0;
    std::optional<prc::ResourceTable> table = prc::readResourceDatabase(inputPath);
    if (!table) {
        std::printf("\nTotal compression: %d->%d bytes\n", 0, 0);
        return false;
    }

    // Removal comes before the first bitmap, so every bitmap sees the final flag.
    const bool plrcRemoved = removeSettingsResource(*table);

    // One scratch buffer and one encoder workspace for every bitmap of the
    // pass, each grown only for a larger bitmap. The scratch buffer is not
    // cleared: the encoder writes what it returns, and a well-compressed
    // bitmap leaves most of it untouched.
    std::unique_ptr<std::uint8_t[]> scratch;
    std::size_t scratchSize = 0;
    bitmapcodec::EncoderWorkspace workspace;
    const auto handled = [](const prc::ResourceEntry& e) {
        return skinrules::tesselActionFor(e.type, e.id, e.data) != skinrules::TesselAction::none;
    };
    const auto bitmaps = static_cast<std::size_t>(
        std::count_if(table->entries.begin(), table->entries.end(), handled));
    std::size_t bitmapsDone = 0;
    for (prc::ResourceEntry& entry : table->entries) {
        const auto size = static_cast<std::uint32_t>(entry.data.size());
        totalBefore += size;
        const skinrules::TesselAction action =
            skinrules::tesselActionFor(entry.type, entry.id, entry.data);
        if (action == skinrules::TesselAction::none) {
            totalAfter += size;
            continue;
        }
        const std::size_t bound = bitmapcodec::compressedBitmapBound(size);
        if (scratchSize < bound) {
            scratch.reset();
            // make_unique_for_overwrite, which the web build's C++ library
            // lacks: left uninitialised.
            scratch.reset(new std::uint8_t[bound]);
            scratchSize = bound;
        }
        const bool keepRaw = action == skinrules::TesselAction::keepRaw;
        const std::uint32_t stored = bitmapcodec::encodeBitmapResource(
            entry.data, std::span(scratch.get(), bound), plrcRemoved, keepRaw, workspace);
        if (stored != size) {
            std::printf("Image %d compressed from %d to %d bytes!\n", static_cast<int>(entry.id),
                        asPrinted(size), asPrinted(stored));
            entry.data.assign(scratch.get(), scratch.get() + stored);
        }
        totalAfter += stored;
        if (bitmapDone) {
            bitmapDone(++bitmapsDone, bitmaps);
        }
    }

    std::printf("\nTotal compression: %d->%d bytes\n", asPrinted(totalBefore),
                asPrinted(totalAfter));
    // The statistics must reach the console before the input may be replaced.
    // A console that cannot take them does not stop the write: the error
    // stays on the stream, and main ends the run with status 1.
    std::fflush(stdout);
    return prc::writeResourceDatabase(outputPath, *table);
}

}  // namespace

bool compressSkinDatabase(const std::string& inputPath, const std::string& outputPath,
                          const BitmapDone& bitmapDone) {
    // Memory runs out on inputs of gigabytes or on a bitmap whose search
    // index does not fit; every allocation comes before the output is
    // opened, so the output (or the input, when it is also the output) stays
    // as it was.
    try {
        return compressDatabase(inputPath, outputPath, bitmapDone);
    } catch (const std::bad_alloc&) {
        std::printf("ERR: out of memory!\n");
        return false;
    }
}

}  // namespace tessel
