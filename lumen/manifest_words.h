// The words that skin.toml's reader and writer share, so that what one writes
// the other reads back: type and creator codes, and the compressions' keywords.
#pragma once

#include <optional>
#include <string>

#include "palm_bitmap.h"
#include "resource_database.h"

namespace lumen {

// A character a code may be written with between quotes.
constexpr bool isPlainCodeCharacter(char c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
}

// A code as the manifest writes it: "rsrc" in quotes, or 0x72737263 when
// one of its bytes is no plain character.
std::string codeText(const prc::TypeCode& code);

// The manifest's keyword for a compression ("scanline"), and back; the
// reader also takes "best", which stands for none of them.
const char* compressionKeyword(palmbitmap::Compression compression);
std::optional<palmbitmap::Compression> compressionOfKeyword(const std::string& keyword);

}  // namespace lumen
