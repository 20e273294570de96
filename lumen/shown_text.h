// Text from a skin or a command line made safe to show on a terminal or in
// the contact sheet: nothing that a terminal would take as a command.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lumen {

// Bytes in the handheld's character set (Windows-1252) as UTF-8; control
// characters, the bytes the set leaves empty and the backslash as \xNN.
std::string handheldText(std::span<const std::uint8_t> bytes);

// A UTF-8 path as given, with its control characters (C0, DEL and C1) as
// \xNN for each of their bytes.
std::string shownPath(const std::string& path);

}  // namespace lumen
