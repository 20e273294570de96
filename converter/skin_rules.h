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
