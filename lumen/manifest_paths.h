// The names a manifest gives its files (file, original, image): relative
// names that stay inside the manifest's folder and mean one file on every
// system, so that a skin folder builds the same wherever it is copied.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace lumen {

// Long enough for any folder tree a skin needs; a name past it is refused
// rather than passed on to the system.
inline constexpr std::size_t kMaxManifestNameLength = 1024;

// Why the name cannot serve, or empty when it can. Both '/' and '\' separate
// folders. Refused on every system: absolute names ("/x", "\x", "C:\x",
// "\\server\share"), any colon (Windows reads it as a drive or a stream),
// ".." components, Windows' device names (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, in any case and with any extension), components that end in a dot
// or a space (Windows drops those), a NUL character, and names longer than
// kMaxManifestNameLength. Where a symbolic link leads is for the reader to
// find out.
std::string manifestNameProblem(std::string_view name);

// The name with '\' as '/', the separator every system takes.
std::string withForwardSlashes(std::string_view name);

}  // namespace lumen
