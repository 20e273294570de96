// UTF-8 inside the programs, UTF-16 at the Windows API: the conversions and
// the path form that lifts the 260-character limit. Windows only.
#pragma once

#include <string>

namespace platform {

std::wstring wideFromUtf8(const std::string& text);
std::string utf8FromWide(const std::wstring& text);

// The path as the W file functions should be given it: a full path in the
// "\\?\" form (or "\\?\UNC\" for a share), so that no length limit or name
// rewriting applies. The user's own spelling stays for anything shown.
std::wstring extendedLengthPath(const std::string& path);

}  // namespace platform
