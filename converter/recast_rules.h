// The decisions of a conversion, free of any file or dialog, so that each rule
// can be checked on its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recast {

enum class SkinKind { alreadyConverted, statusBar, wifi, unsupported };

// Classifies a database by its type and creator (four raw bytes each).
SkinKind classifySkin(const std::uint8_t* type, const std::uint8_t* creator);

// The database name that a file's path gives: its base name (after the last
// '/', '\' or ':') up to the first '.'. Empty when the base name is empty or
// begins with a dot. The result views the path's own characters.
std::string_view databaseNameFromPath(std::string_view path);

inline constexpr std::size_t kMaxNameLength = 31;        // and a NUL in the 32-byte field
inline constexpr std::size_t kPlaceholderNameSize = 27;  // the longer text and its NUL

// One character in the handheld's character set: its 1 or 2 bytes in bytes,
// and their count; 0 when the set has no such character.
using HandheldCharacter = std::size_t (*)(char32_t character, std::uint8_t (&bytes)[2]);

// Windows-1252, the Latin set of Palm OS.
std::size_t windows1252Character(char32_t character, std::uint8_t (&bytes)[2]);

// The database name for a UTF-8 file name, in the handheld's character set:
// '_' for a character that the set cannot hold (and for each byte that is not
// UTF-8), cut to at most kMaxNameLength bytes without splitting a character.
// Returns the name's length; name is NUL-terminated.
std::size_t handheldName(std::string_view utf8, HandheldCharacter encode,
                         char (&name)[kMaxNameLength + 1]);

// How many characters a UTF-16 path of this UTF-8 text would hold: the
// measure of the 260-character limit of Windows paths.
std::size_t utf16Length(std::string_view utf8);

// Writes "Converted skin [xxxx]" or "Converted WiFi skin [xxxx]" with the low
// 15 bits of randomValue as four lowercase hexadecimal digits, NUL-terminated;
// returns the text's length.
std::size_t formatPlaceholderName(bool wifiSkin, int randomValue,
                                  char (&text)[kPlaceholderNameSize]);

// Whether a directory entry's type is rewritten, and into what. WiFi skins
// keep only their bitmaps 25100 to 25262 and mark every other resource with a
// leading '_'; status-bar skins turn 'ovly' into 'OVLY'.
bool renamedEntryType(bool wifiSkin, const std::uint8_t* type, std::uint16_t id,
                      std::uint8_t* newType);

}  // namespace recast
