// Windows-1252, the Latin character set of Palm OS, in which database names
// and string resources are stored: the one table that both directions
// (Recast naming a database, Lumen showing one; Lumen's manifest writing a
// string resource as text and building it back) read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "utf8.h"

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

// A byte that a string resource's text may hold: a character of the set
// that shows (the space included), or a tab, newline or carriage return.
// Never NUL, which ends the text, nor another control character or one of
// the five bytes the set leaves empty: a resource holding those is data.
constexpr bool isTextByte(std::uint8_t byte) {
    if (byte == '\t' || byte == '\n' || byte == '\r') {
        return true;
    }
    return byte >= 0x20 && byte != 0x7F && windows1252ToUnicode(byte) != 0;
}

// Whether the bytes are text closed by exactly one NUL, the form of a
// string resource ('tSTR'): text bytes, then the NUL as the last byte.
inline bool isNulTerminatedText(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.back() != 0) {
        return false;
    }
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
        if (!isTextByte(bytes[k])) {
            return false;
        }
    }
    return true;
}

// Text bytes as UTF-8.
inline std::string utf8OfWindows1252(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        appendUtf8(windows1252ToUnicode(byte), text);
    }
    return text;
}

struct TextBytes {
    std::vector<std::uint8_t> bytes;  // the text's, without a NUL
    // The first character that is no text byte (outside the set, NUL, or
    // another control character), or that is not UTF-8 (U+FFFD); then bytes
    // is incomplete.
    std::optional<char32_t> refused;
};

// UTF-8 text as the text bytes of a string resource.
inline TextBytes windows1252OfUtf8(std::string_view text) {
    TextBytes result;
    while (!text.empty()) {
        char32_t character = 0;
        const std::size_t length = decodeUtf8(text, character);
        const std::optional<std::uint8_t> byte =
            length == 0 ? std::nullopt : unicodeToWindows1252(character);
        if (!byte || !isTextByte(*byte)) {
            result.refused = length == 0 ? U'\uFFFD' : character;
            return result;
        }
        result.bytes.push_back(*byte);
        text.remove_prefix(length);
    }
    return result;
}

}  // namespace palmtext
