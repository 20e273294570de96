#include "shown_text.h"

#include "utf8.h"
#include "windows_1252.h"

namespace lumen {
namespace {

void appendEscaped(std::uint8_t byte, std::string& out) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
}

bool isControl(char32_t character) {
    return character < 0x20 || (character >= 0x7F && character < 0xA0);
}

}  // namespace

std::string handheldText(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        const char32_t character = palmtext::windows1252ToUnicode(byte);
        if (character == '\\' || isControl(character)) {
            appendEscaped(byte, text);
        } else {
            palmtext::appendUtf8(character, text);
        }
    }
    return text;
}

std::string shownPath(const std::string& path) {
    if (path.size() > kLongestShownPath) {
        // Cut where a character begins, so that each part stays UTF-8.
        const auto continues = [&path](std::size_t at) {
            return (static_cast<std::uint8_t>(path[at]) & 0xC0) == 0x80;
        };
        std::size_t headEnd = kLongestShownPath / 2 - 20;
        while (headEnd > 0 && continues(headEnd)) {
            --headEnd;
        }
        std::size_t tailStart = path.size() - (kLongestShownPath / 2 - 20);
        while (tailStart < path.size() && continues(tailStart)) {
            ++tailStart;
        }
        return shownPath(path.substr(0, headEnd)) + "\xE2\x80\xA6" +
               shownPath(path.substr(tailStart));
    }
    std::string text;
    for (std::size_t k = 0; k < path.size(); ++k) {
        const auto byte = static_cast<std::uint8_t>(path[k]);
        // U+0080 to U+009F are C2 80 to C2 9F in UTF-8.
        const bool c1 = byte == 0xC2 && k + 1 < path.size() &&
                        static_cast<std::uint8_t>(path[k + 1]) >= 0x80 &&
                        static_cast<std::uint8_t>(path[k + 1]) < 0xA0;
        if (c1) {
            appendEscaped(byte, text);
            appendEscaped(static_cast<std::uint8_t>(path[++k]), text);
        } else if (byte < 0x20 || byte == 0x7F) {
            appendEscaped(byte, text);
        } else {
            text += path[k];
        }
    }
    return text;
}

}  // namespace lumen
