// toml++ 3.3 (Debian 12's) reaches __builtin_unreachable on some non-ASCII
// characters when it looks for whitespace, even in a string that a stray
// character before it spoils. So the parser is given ASCII only: in strings
// the other characters become escapes (literal strings become basic ones),
// in comments '?', and anywhere else TOML does not allow them at all.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumen {

// The text with the same meaning and lines in ASCII; nothing when a character
// is not UTF-8 or stands outside quotes and comments, badLine then its line.
std::optional<std::string> asciiToml(std::string_view text, int& badLine);

}  // namespace lumen
