// The compressor pass at the edges of what a database can hold: the most
// resources, offsets that cannot be in the file, a bitmap of megabytes, and
// matches at the edge of the window. Results must be right and memory bounded.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "allocation_watch.h"
#include "compressed_bitmap.h"
#include "files.h"
#include "input_classes.h"
#include "resource_database.h"
#include "skin_builder.h"
#include "skin_compression.h"

namespace {

using skinbuilder::Bytes;
using skinbuilder::DatabaseLayout;

struct PassRun {
    bool passed = false;
    Bytes output;
    std::size_t peakMemory = 0;
};

PassRun runPass(const Bytes& input) {
    const testsupport::TempFolder folder;
    testsupport::writeFile(folder / "in.prc", input);
    PassRun run;
    {
        const testsupport::AllocationWatch watch;
        run.passed = tessel::compressSkinDatabase(folder / "in.prc", folder / "out.prc");
        run.peakMemory = watch.peak();
        EXPECT_EQ(watch.stillHeld(), 0u);
    }
    if (run.passed) {
        run.output = testsupport::readFile(folder / "out.prc");
    }
    return run;
}

// What the pass may hold at once: the file it read and the table made of it,
// the table and the file it writes, bookkeeping per resource, and the
// encoder's scratch and working memory for the largest bitmap.
std::size_t memoryBound(std::size_t fileSize, std::size_t resources, std::size_t largestBitmap) {
    return 3 * fileSize + 128 * resources + 42 * largestBitmap + 4096;
}

void patch32(Bytes& file, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        file[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

struct RefusedCase {
    const char* name;
    std::function<Bytes()> make;
};

TEST(ResourceLimits, DeclaredButAbsentDataAllocatesNothingLarge) {
    const std::vector<RefusedCase> cases = {
        {"65535 resources declared in a tiny file",
         [] {
             Bytes file = skinbuilder::buildDatabase(DatabaseLayout{});
             file[76] = 0xFF;
             file[77] = 0xFF;
             return file;
         }},
        {"offsets near 2^32",
         [] {
             DatabaseLayout layout;
             layout.resources = {{"abmp", 1, Bytes(10, 1)}, {"abmp", 2, Bytes(10, 2)}};
             Bytes file = skinbuilder::buildDatabase(layout);
             patch32(file, skinbuilder::offsetFieldAt(0), 0xFFFFFFF0);
             patch32(file, 88 + 6, 0xFFFFFFFF);
             return file;
         }},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes input = c.make();
        const PassRun run = runPass(input);
        EXPECT_FALSE(run.passed);
        EXPECT_LE(run.peakMemory, 4096 + input.size());
    }
}

// Each resource's stored bytes, decoded when they are a container.
std::vector<Bytes> storedResources(const Bytes& file) {
    const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
    if (!parse.table) {
        ADD_FAILURE() << "the output does not read as a database";
        return {};
    }
    std::vector<Bytes> resources;
    for (const prc::ResourceEntry& entry : parse.table->entries) {
        if (entry.type == prc::typeCode("abmp") && entry.data.size() >= 4 &&
            std::equal(entry.data.begin(), entry.data.begin() + 4, "cBMP")) {
            const bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(entry.data);
            EXPECT_EQ(decoded.error, nullptr);
            resources.push_back(decoded.bytes);
        } else {
            resources.push_back(entry.data);
        }
    }
    return resources;
}

struct LargeCase {
    const char* name;
    std::function<DatabaseLayout()> make;
    bool bitmapShrinks;  // whether the largest bitmap must be stored compressed
};

Bytes repeatedAtDistance(std::size_t distance, std::size_t repeated) {
    Bytes bytes = inputclasses::randomBytes(distance, 11);
    bytes.insert(bytes.end(), bytes.begin(), bytes.begin() + static_cast<long>(repeated));
    return bytes;
}

TEST(ResourceLimits, LargeDatabasesComeBackWholeWithinTheMemoryBound) {
    const std::vector<LargeCase> cases = {
        {"65535 resources, the first a 'PlRC' of id 0",
         [] {
             DatabaseLayout layout;
             layout.resources.push_back({"PlRC", 0, Bytes{1}});
             for (std::uint32_t i = 1; i < prc::kMaxResourceCount; ++i) {
                 layout.resources.push_back({i % 3 == 0 ? "abmp" : "tSTR",
                                             static_cast<std::uint16_t>(i),
                                             Bytes(i % 5, static_cast<std::uint8_t>(i))});
             }
             return layout;
         },
         false},
        {"a bitmap of eight megabytes",
         [] {
             DatabaseLayout layout;
             layout.resources.push_back({"abmp", 1000, inputclasses::gradient(2048, 2048)});
             return layout;
         },
         true},
        {"a repeat at the window's last distance",
         [] {
             DatabaseLayout layout;
             layout.resources.push_back(
                 {"abmp", 1000, repeatedAtDistance(bitmapcodec::kBitmapMaxDistance, 200000)});
             return layout;
         },
         true},
        {"a repeat just beyond the window",
         [] {
             DatabaseLayout layout;
             layout.resources.push_back(
                 {"abmp", 1000, repeatedAtDistance(bitmapcodec::kBitmapMaxDistance + 1, 200000)});
             return layout;
         },
         false},
    };
    for (const LargeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const DatabaseLayout layout = c.make();
        const Bytes input = skinbuilder::buildDatabase(layout);
        std::size_t largestBitmap = 0;
        for (const auto& resource : layout.resources) {
            largestBitmap = std::max(largestBitmap, resource.data.size());
        }
        const PassRun run = runPass(input);
        ASSERT_TRUE(run.passed);

        std::vector<Bytes> expected;
        for (const auto& resource : layout.resources) {
            if (resource.type != "PlRC" || resource.id != 0) {
                expected.push_back(resource.data);
            }
        }
        EXPECT_TRUE(storedResources(run.output) == expected);
        const std::size_t bound = memoryBound(input.size(), layout.resources.size(), largestBitmap);
        std::printf("%s: %zu byte file, peak memory %zu bytes, bound %zu\n", c.name, input.size(),
                    run.peakMemory, bound);
        EXPECT_LE(run.peakMemory, bound);
        if (layout.resources.size() == 1) {
            const bool shrank = run.output.size() < input.size() - 100000;
            EXPECT_EQ(shrank, c.bitmapShrinks);
        }
    }
}

}  // namespace
