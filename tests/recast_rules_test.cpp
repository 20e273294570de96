#include "recast_rules.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

using recast::SkinKind;

TEST(DatabaseNameFromPath, TakesTheBaseNameUpToItsFirstDot) {
    struct Case {
        std::string path;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"C:\\skins\\Blue.prc", "Blue"},
        {"Blue", "Blue"},
        {"C:\\my.folder\\Blue.prc", "Blue"},
        {"/home/me/my.skins/Blue.prc", "Blue"},
        {"Blue.old.prc", "Blue"},
        {"C:Blue.prc", "Blue"},
        {"\\Blue.prc", "Blue"},
        {"dir/sub\\mixed:Blue.prc", "Blue"},
        {"skins/StatusBarResources.prc", "StatusBarResources"},
        {".prc", ""},
        {"skins/.hidden", ""},
        {"skins/", ""},
        {"", ""},
        {"a/b.c/", ""},
        {"ThisBaseNameIsFortyCharactersLongXXXXXXX.prc",
         "ThisBaseNameIsFortyCharactersLongXXXXXXX"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(recast::databaseNameFromPath(c.path), c.name) << c.path;
    }
}

// A double-byte set like the Japanese code page: every non-ASCII character
// takes two bytes.
std::size_t twoByteCharacter(char32_t character, std::uint8_t (&bytes)[2]) {
    if (character < 0x80) {
        bytes[0] = static_cast<std::uint8_t>(character);
        return 1;
    }
    bytes[0] = 0x82;
    bytes[1] = static_cast<std::uint8_t>(0x40 + (character & 0x3F));
    return 2;
}

TEST(HandheldName, TakesTheHandheldsCharacterSetAndCutsOnlyWholeCharacters) {
    struct Case {
        std::string utf8;
        recast::HandheldCharacter set;
        std::string name;
    };
    const auto latin = recast::windows1252Character;
    const std::vector<Case> cases = {
        {"Blue", latin, "Blue"},
        {"Blåbær", latin, "Bl\xe5" "b\xe6r"},
        {"Œuvre €5 – “ok” ™", latin, "\x8cuvre \x80" "5 \x96 \x93ok\x94 \x99"},
        {"Скин スキン 😀", latin, "____ ___ _"},
        // Not UTF-8: a stray byte, a cut character, an overlong form, a
        // surrogate; and a control character that the set leaves out.
        {"a\xff" "b\xc3", latin, "a_b_"},
        {"\xc0\xaf\xed\xa0\x80", latin, "_____"},
        {"\xc2\x81", latin, "_"},
        {"1234567890123456789012345678øæåü", latin, "1234567890123456789012345678\xf8\xe6\xe5"},
        {"123456789012345678901234567890ø", twoByteCharacter, "123456789012345678901234567890"},
        {"12345678901234567890123456789ø", twoByteCharacter,
         "12345678901234567890123456789\x82\x78"},
    };
    for (const Case& c : cases) {
        char name[recast::kMaxNameLength + 1];
        const std::size_t length = recast::handheldName(c.utf8, c.set, name);
        EXPECT_EQ(std::string(name, length), c.name) << c.utf8;
        EXPECT_EQ(name[length], '\0');
    }
}

TEST(Utf16Length, CountsWhatWindowsCountsInAPath) {
    EXPECT_EQ(recast::utf16Length("C:\\skins\\Blue.prc"), 17u);
    EXPECT_EQ(recast::utf16Length("Łódź スキン"), 8u);
    EXPECT_EQ(recast::utf16Length("😀"), 2u);
}

TEST(ClassifySkin, AcceptsStatusBarAndWifiSkinsOnly) {
    struct Case {
        const char* type;
        const char* creator;
        SkinKind kind;
    };
    const std::vector<Case> cases = {
        {"rsrc", "T3sk", SkinKind::alreadyConverted},    {"rsrc", "sBar", SkinKind::statusBar},
        {"rsrc", "F3BG", SkinKind::statusBar},           {"aext", "WiSl", SkinKind::wifi},
        {"aext", "sBar", SkinKind::unsupported},         {"rsrc", "WiSl", SkinKind::unsupported},
        {"aext", "T3sk", SkinKind::unsupported},         {"RSRC", "sBar", SkinKind::unsupported},
        {"rsrc", "sbar", SkinKind::unsupported},         {"skin", "skUI", SkinKind::unsupported},
        {"\0\0\0\0", "\0\0\0\0", SkinKind::unsupported},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(recast::classifySkin(reinterpret_cast<const std::uint8_t*>(c.type),
                                       reinterpret_cast<const std::uint8_t*>(c.creator)),
                  c.kind)
            << c.type << "/" << c.creator;
    }
}

TEST(RenamedEntryType, FollowsTheDirectoryRulesOfEachKind) {
    struct Case {
        bool wifi;
        const char* type;
        std::uint16_t id;
        const char* renamed;  // nullptr: left as it is
    };
    const std::vector<Case> cases = {
        {false, "ovly", 1000, "OVLY"},   {false, "OVLY", 1000, nullptr},
        {false, "Ovly", 1000, nullptr},  {false, "abmp", 25099, nullptr},
        {false, "abmp", 31000, nullptr}, {false, "_xyz", 1, nullptr},
        {true, "abmp", 25099, "_bmp"},   {true, "abmp", 25100, nullptr},
        {true, "abmp", 25262, nullptr},  {true, "abmp", 25263, "_bmp"},
        {true, "ABMP", 25150, "_BMP"},   {true, "ovly", 25150, "_vly"},
        {true, "OVLY", 1, "_VLY"},       {true, "_xyz", 1, "_xyz"},
        {true, "tSTR", 0, "_STR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.wifi << " " << c.type << " " << c.id);
        std::uint8_t renamed[4] = {};
        const bool changed = recast::renamedEntryType(
            c.wifi, reinterpret_cast<const std::uint8_t*>(c.type), c.id, renamed);
        ASSERT_EQ(changed, c.renamed != nullptr);
        if (changed) {
            EXPECT_EQ(std::string(renamed, renamed + 4), c.renamed);
        }
    }
}

TEST(FormatPlaceholderName, FourLowercaseDigitsOfAFifteenBitValue) {
    struct Case {
        bool wifi;
        int random;
        const char* text;
    };
    const std::vector<Case> cases = {
        {false, 0, "Converted skin [0000]"},           {false, 1001, "Converted skin [03e9]"},
        {true, 1001, "Converted WiFi skin [03e9]"},    {false, 32767, "Converted skin [7fff]"},
        {true, 32768, "Converted WiFi skin [0000]"},   // a wider rand() wraps into range
        {false, 2147483647, "Converted skin [7fff]"},  // glibc's RAND_MAX
        {true, 0xABCDE, "Converted WiFi skin [3cde]"},
    };
    for (const Case& c : cases) {
        char text[recast::kPlaceholderNameSize];
        const std::size_t length = recast::formatPlaceholderName(c.wifi, c.random, text);
        EXPECT_STREQ(text, c.text);
        EXPECT_EQ(length, std::string(c.text).size());
    }
}

}  // namespace
