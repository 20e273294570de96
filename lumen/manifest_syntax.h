// A manifest that is no TOML, told in the manifest's own words: what is
// wrong, the key when its line has one, and how to mend it. The parser
// (toml++) words its errors for people who know TOML's grammar; a skin's
// author knows the manifest.
#pragma once

#include <string>
#include <string_view>

namespace lumen {

// `text` is what the parser read, `line` and `column` (from 1) where it
// stopped, and `description` its own words ("Error while parsing string:
// ..."). Gives "<table>.<key>: <what>; <how to mend it>", or the parser's
// words made plain where no plainer ones are known.
std::string syntaxMessage(std::string_view text, int line, int column,
                          std::string_view description);

}  // namespace lumen
