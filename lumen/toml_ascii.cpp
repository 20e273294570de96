#include "toml_ascii.h"

#include <cstdio>

#include "utf8.h"

namespace lumen {
namespace {

// One UTF-8 sequence at text[at] appended as a TOML escape; its length, or
// 0 when it is not UTF-8.
std::size_t appendEscaped(std::string_view text, std::size_t at, std::string& out) {
    char32_t point = 0;
    const std::size_t length = palmtext::decodeUtf8(text.substr(at), point);
    if (length == 0) {
        return 0;
    }
    char escape[11];
    std::snprintf(escape, sizeof escape, point <= 0xFFFF ? "\\u%04X" : "\\U%08X",
                  static_cast<unsigned>(point));
    out += escape;
    return length;
}

}  // namespace

std::optional<std::string> asciiToml(std::string_view text, int& badLine) {
    std::string out;
    int line = 1;
    const auto startsWith = [&text](std::size_t at, std::string_view what) {
        return text.substr(at, what.size()) == what;
    };
    std::size_t k = 0;
    while (k < text.size()) {
        const char c = text[k];
        const bool multi = startsWith(k, "\"\"\"") || startsWith(k, "'''");
        if (c == '#') {
            for (; k < text.size() && text[k] != '\n'; ++k) {
                out += static_cast<unsigned char>(text[k]) < 0x80 ? text[k] : '?';
            }
        } else if (c == '"' || c == '\'') {
            const bool literal = c == '\'';
            const std::string_view quote = text.substr(k, multi ? 3 : 1);
            out += multi ? "\"\"\"" : "\"";
            k += quote.size();
            while (k < text.size()) {
                const char d = text[k];
                if (startsWith(k, quote)) {
                    // Up to two more quotes belong to a multi-line string's text.
                    std::size_t extra = 0;
                    while (multi && extra < 2 && k + 3 + extra < text.size() &&
                           text[k + 3 + extra] == c) {
                        ++extra;
                    }
                    for (std::size_t e = 0; e < extra; ++e) {
                        out += literal ? "'" : "\\\"";
                    }
                    out += multi ? "\"\"\"" : "\"";
                    k += quote.size() + extra;
                    break;
                }
                if (d == '\n' && !multi) {
                    break;  // the parser names the string that never ends
                }
                if (static_cast<unsigned char>(d) >= 0x80) {
                    const std::size_t length = appendEscaped(text, k, out);
                    if (length == 0) {
                        badLine = line;
                        return std::nullopt;
                    }
                    k += length;
                    continue;
                }
                if (d == '\n') {
                    ++line;
                }
                if (literal && (d == '\\' || d == '"')) {
                    out += '\\';
                } else if (!literal && d == '\\' && k + 1 < text.size()) {
                    // An escape keeps its next character, whatever it is.
                    out += d;
                    ++k;
                    if (static_cast<unsigned char>(text[k]) >= 0x80) {
                        badLine = line;
                        return std::nullopt;
                    }
                    if (text[k] == '\n') {
                        ++line;
                    }
                }
                out += text[k];
                ++k;
            }
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            badLine = line;
            return std::nullopt;
        } else {
            line += c == '\n' ? 1 : 0;
            out += c;
            ++k;
        }
    }
    return out;
}

}  // namespace lumen
