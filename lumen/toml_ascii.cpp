#include "toml_ascii.h"

#include <utility>
#include <vector>

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
    // By hand: snprintf for each of millions of characters took a second.
    static constexpr char kHex[] = "0123456789ABCDEF";
    const int digits = point <= 0xFFFF ? 4 : 8;
    out += '\\';
    out += digits == 4 ? 'u' : 'U';
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
        out += kHex[(point >> shift) & 15];
    }
    return length;
}

// Follows, outside strings and comments, whether a key or a value is being
// read, so as to count the parts of each key and the keys, tables and values
// of the whole text: a line begins with a key or a table name, '=' begins a
// value, and in a value '{' and the commas of an inline table begin keys
// again.
class Structure {
  public:
    enum class Step { ok, keyTooDeep, tooManyItems };

    Step step(char c) {
        if (inKey_) {
            if (c == '.') {
                // Each part of a dotted key may make a table of its own.
                return ++parts_ > kMaxKeyParts ? Step::keyTooDeep : counted();
            }
            if (c == '=') {
                startValue();
                return counted();
            }
            if (c == '[' && open_.empty()) {
                return counted();  // a table's name
            }
            if (c == '}') {
                close();
            } else if (c == '\n' && open_.empty()) {
                startKey();
            }
            return Step::ok;
        }
        if (c == '[' || c == '{') {
            open_.push_back(c);
            if (c == '{') {
                startKey();
            }
            return counted();
        }
        if (c == ']' || c == '}') {
            close();
        } else if (c == ',') {
            if (!open_.empty() && open_.back() == '{') {
                startKey();
            }
            return counted();
        } else if (c == '\n' && open_.empty()) {
            startKey();
        }
        return Step::ok;
    }

  private:
    Step counted() { return ++items_ <= kMaxTomlItems ? Step::ok : Step::tooManyItems; }
    void startKey() {
        inKey_ = true;
        parts_ = 1;
    }
    void startValue() { inKey_ = false; }
    void close() {
        if (!open_.empty()) {
            open_.pop_back();
        }
        startValue();
    }

    bool inKey_ = true;
    int parts_ = 1;
    std::size_t items_ = 0;
    std::vector<char> open_;  // '[' and '{' of the values being read
};

}  // namespace

AsciiToml asciiToml(std::string_view text) {
    AsciiToml result;
    std::string out;
    int line = 1;
    const auto refuse = [&result, &line](std::string error) {
        result.badLine = line;
        result.error = std::move(error);
        return std::move(result);
    };
    const std::string notText = "a character that is not UTF-8 text in quotes or a comment";
    Structure structure;
    const auto startsWith = [&text](std::size_t at, std::string_view what) {
        return text.substr(at, what.size()) == what;
    };
    std::size_t k = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
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
                        return refuse(notText);
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
                        return refuse(notText);
                    }
                    if (text[k] == '\n') {
                        ++line;
                    }
                }
                out += text[k];
                ++k;
            }
        } else if (static_cast<unsigned char>(c) >= 0x80) {
            return refuse(notText);
        } else {
            const Structure::Step step = structure.step(c);
            if (step == Structure::Step::keyTooDeep) {
                return refuse("a key or table name of more than " + std::to_string(kMaxKeyParts) +
                              " dotted parts, the limit for a manifest");
            }
            if (step == Structure::Step::tooManyItems) {
                return refuse("more than " + std::to_string(kMaxTomlItems) +
                              " keys, tables and values, the limit for a manifest");
            }
            line += c == '\n' ? 1 : 0;
            out += c;
            ++k;
        }
    }
    result.text = std::move(out);
    return result;
}

}  // namespace lumen
