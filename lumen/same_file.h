// Paths inside Lumen are UTF-8; std::filesystem must be told so, or Windows
// reads them in the ANSI code page.
#pragma once

#include <filesystem>
#include <string>

namespace lumen {

std::filesystem::path utf8Path(const std::string& path);

// True when both paths name one existing file (through links, other
// spellings or hard links).
bool isSameFile(const std::string& a, const std::string& b);

}  // namespace lumen
