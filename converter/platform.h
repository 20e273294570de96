// The two modal operations that Recast needs of the platform: a dialog on
// Windows, a terminal stand-in elsewhere.
#pragma once

#include <cstddef>

namespace recast {

inline constexpr std::size_t kPathBufferSize = 260;

// Lets the user choose one existing file; its NUL-terminated path is placed in
// path. Returns nonzero when a file was chosen, zero on cancel.
int chooseExistingFile(const char* title, char (&path)[kPathBufferSize]);

// Shows text under title with a single OK button and returns once dismissed.
void showMessage(const char* title, const char* text);

}  // namespace recast
