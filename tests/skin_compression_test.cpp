#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "skin_builder.h"
#include "skin_rules.h"

namespace {

TEST(SkinRules, MayCompressBitmapIdRefusesExactlyTheKeepRawIds) {
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

TEST(SkinRules, TesselActionDependsOnTypeIdAndContainerAlone) {
    using skinrules::TesselAction;
    const std::vector<std::uint8_t> plain(40, 7);
    const std::vector<std::uint8_t> container = {'c', 'B', 'M', 'P', 1, 0, 0, 0, 0, 0, 0, 0};
    const std::vector<std::uint8_t> magicOnly = {'c', 'B', 'M', 'P'};
    struct Case {
        const char* type;
        std::uint16_t id;
        const std::vector<std::uint8_t>& data;
        TesselAction action;
    };
    const Case cases[] = {
        {"abmp", 31000, plain, TesselAction::compress},
        {"abmp", 31003, plain, TesselAction::keepRaw},
        {"abmp", 31003, container, TesselAction::asIs},
        {"abmp", 31000, magicOnly, TesselAction::asIs},
        {"Tbmp", 31000, plain, TesselAction::none},
        {"ABMP", 31000, plain, TesselAction::none},
        {"PlRC", 0, plain, TesselAction::none},
    };
    for (const Case& c : cases) {
        const prc::TypeCode type = {
            static_cast<std::uint8_t>(c.type[0]), static_cast<std::uint8_t>(c.type[1]),
            static_cast<std::uint8_t>(c.type[2]), static_cast<std::uint8_t>(c.type[3])};
        EXPECT_EQ(skinrules::tesselActionFor(type, c.id, c.data), c.action) << c.type << c.id;
        EXPECT_EQ(skinrules::isBitmapType(type),
                  c.type == std::string("abmp") || c.type == std::string("Tbmp"))
            << c.type;
    }
}

TEST(SampleSkin, TheShippedFileIsWhatTheGeneratorDraws) {
    const std::filesystem::path shipped = SAMPLE_SKIN_PATH;
    EXPECT_EQ(testsupport::readFile(shipped), skinbuilder::sampleSkin());
}

}  // namespace
