// Windows-1252, the Latin character set of Palm OS, in which database names
// are stored: the one table that both directions (Recast naming a database,
// Lumen showing one) read.
#pragma once

#include <cstdint>
#include <optional>

namespace palmtext {

// The characters at 0x80 to 0x9F (0: none there); every other byte is the
// Unicode character of the same number.
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The Unicode character of a byte, or 0 for the five bytes the set leaves empty.
constexpr char32_t windows1252ToUnicode(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// The byte of a character, or nothing when the set cannot hold it.
constexpr std::optional<std::uint8_t> unicodeToWindows1252(char32_t character) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        return static_cast<std::uint8_t>(character);
    }
    for (std::uint8_t i = 0; i < 32; ++i) {
        if (kWindows1252High[i] != 0 && kWindows1252High[i] == character) {
            return static_cast<std::uint8_t>(0x80 + i);
        }
    }
    return std::nullopt;
}

}  // namespace palmtext
