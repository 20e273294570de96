#include <gtest/gtest.h>

#include <filesystem>

#include "files.h"
#include "skin_builder.h"
#include "skin_rules.h"

namespace {

TEST(MayCompressBitmapId, RefusesExactlyTheKeepRawIds) {
    const std::uint16_t keepRaw[] = {31003, 31004, 31165, 31166, 31140, 31141, 31142,
                                     31143, 31144, 31145, 31146, 31147, 31999};
    for (const std::uint16_t id : keepRaw) {
        EXPECT_FALSE(skinrules::mayCompressBitmapId(id)) << id;
    }
    // Neighbours of the list and the end marker's value are ordinary ids.
    const std::uint16_t ordinary[] = {0,     1,     31002, 31005, 31139, 31148,
                                      31164, 31167, 31998, 32000, 65535};
    for (const std::uint16_t id : ordinary) {
        EXPECT_TRUE(skinrules::mayCompressBitmapId(id)) << id;
    }
}

TEST(SampleSkin, TheShippedFileIsWhatTheGeneratorDraws) {
    const std::filesystem::path shipped = SAMPLE_SKIN_PATH;
    EXPECT_EQ(testsupport::readFile(shipped), skinbuilder::sampleSkin());
}

}  // namespace
