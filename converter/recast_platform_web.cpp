// Recast in the page: the skin is a file the page put in memory, and the
// messages are lines on standard error, which the page shows.
#include <cstdio>

#include "recast_platform.h"
#include "recast_rules.h"

namespace recast {

// The page names the file itself; there is nothing to choose.
FileChoice chooseExistingFile(const char* /*title*/, char (&path)[kPathBufferSize]) {
    path[0] = '\0';
    return FileChoice::failed;
}

void showMessage(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
}

std::FILE* openForUpdate(const char* path) {
    return std::fopen(path, "r+b");
}

// The page's file names are UTF-8, as the browser gives them.
std::size_t handheldCharacter(char32_t character, std::uint8_t (&bytes)[2]) {
    return windows1252Character(character, bytes);
}

}  // namespace recast
