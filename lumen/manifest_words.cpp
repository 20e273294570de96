#include "manifest_words.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace lumen {
namespace {

constexpr std::pair<palmbitmap::Compression, const char*> kCompressionKeywords[] = {
    {palmbitmap::Compression::none, "none"},
    {palmbitmap::Compression::scanLine, "scanline"},
    {palmbitmap::Compression::rle, "rle"},
    {palmbitmap::Compression::packBits, "packbits"},
};

}  // namespace

std::string codeText(const prc::TypeCode& code) {
    if (std::all_of(code.begin(), code.end(),
                    [](std::uint8_t c) { return isPlainCodeCharacter(static_cast<char>(c)); })) {
        std::string text = "\"";
        text.append(code.begin(), code.end());
        return text + "\"";
    }
    char text[11];
    std::snprintf(text, sizeof text, "0x%02X%02X%02X%02X", code[0], code[1], code[2], code[3]);
    return text;
}

const char* compressionKeyword(palmbitmap::Compression compression) {
    for (const auto& [named, key] : kCompressionKeywords) {
        if (named == compression) {
            return key;
        }
    }
    return "none";
}

std::optional<palmbitmap::Compression> compressionOfKeyword(const std::string& keyword) {
    for (const auto& [compression, key] : kCompressionKeywords) {
        if (keyword == key) {
            return compression;
        }
    }
    return std::nullopt;
}

}  // namespace lumen
