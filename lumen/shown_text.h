// Text from a skin or a command line made safe to show on a terminal or in
// the contact sheet: nothing that a terminal would take as a command.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lumen {

// Bytes in the handheld's character set (Windows-1252) as UTF-8; control
// characters, the bytes the set leaves empty and the backslash as \xNN.
std::string handheldText(std::span<const std::uint8_t> bytes);

// Past this length a path is shown by its start and its end.
inline constexpr std::size_t kLongestShownPath = 400;

// A UTF-8 path as given, with its control characters (C0, DEL and C1) as
// \xNN for each of their bytes. One longer than kLongestShownPath bytes
// (a path of megabytes would bury the message) keeps its first and last
// characters around an ellipsis.
std::string shownPath(const std::string& path);

}  // namespace lumen
