// What Recast needs of the platform: a dialog and message boxes on Windows, a
// terminal stand-in elsewhere; opening the skin by its UTF-8 path; and the
// handheld's character set for the names it derives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace recast {

// A path holds fewer than this many characters (UTF-16 units, as Windows
// counts them; the dialog's buffer), stored as UTF-8: at most three bytes a
// unit.
inline constexpr std::size_t kPathCharacters = 260;
inline constexpr std::size_t kPathBufferSize = 3 * kPathCharacters;

enum class FileChoice { chosen, cancelled, failed };

// Lets the user choose one existing file; its NUL-terminated UTF-8 path is
// placed in path when one was chosen.
FileChoice chooseExistingFile(const char* title, char (&path)[kPathBufferSize]);

// Shows text under title with a single OK button and returns once dismissed.
void showMessage(const char* title, const char* text);

// Opens the existing file at the UTF-8 path for reading and writing, without
// text translation; nullptr when it cannot be.
std::FILE* openForUpdate(const char* path);

// One character in the character set that the handheld shows a database name
// in (see HandheldCharacter in recast_rules.h).
std::size_t handheldCharacter(char32_t character, std::uint8_t (&bytes)[2]);

}  // namespace recast
