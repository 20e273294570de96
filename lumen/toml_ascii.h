// toml++ 3.3 (Debian 12's) reaches __builtin_unreachable on some non-ASCII
// characters when it looks for whitespace, even in a string that a stray
// character before it spoils. So the parser is given ASCII only: in strings
// the other characters become escapes (literal strings become basic ones),
// in comments '?', and anywhere else TOML does not allow them at all.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace lumen {

// toml++ descends once for every part of a dotted key or table name
// ([a.b.c], a.b.c = 1): some 300,000 parts overflow a thread's stack. A
// manifest's deepest key has two.
inline constexpr int kMaxKeyParts = 32;

// toml++ takes some 80 bytes and a microsecond for each key, table and
// value: 16 MB of "[{},{},...]" would take 700 MB. Export writes one for
// every 20 bytes or so, so that any manifest of its within the 16 MB that
// Lumen reads stays below.
inline constexpr std::size_t kMaxTomlItems = 1000000;

struct AsciiToml {
    std::optional<std::string> text;  // the same meaning and lines in ASCII
    int badLine = 0;                  // where the refused text stands, when there is none
    std::string error;
};

// Refuses a character that is not UTF-8 or stands outside quotes and
// comments, a key or table name of more than kMaxKeyParts parts, and more
// than kMaxTomlItems keys, tables and values (counted by their '=', '[',
// '{', ',' and the dots between the parts of keys). A
// UTF-8 byte-order mark at the start (Notepad writes one) is left out.
AsciiToml asciiToml(std::string_view text);

}  // namespace lumen
