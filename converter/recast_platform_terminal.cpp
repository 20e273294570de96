// Stand-in for the dialog and message boxes where there are none: messages
// are lines on standard error, and the file is chosen by typing its path.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "recast_platform.h"
#include "recast_rules.h"

namespace recast {
namespace {

bool isExistingRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

// Reads one line without its line end into line. Returns false at the end of
// input; sets tooLong (and skips the rest) when the line does not fit.
bool readLine(char (&line)[kPathBufferSize], bool& tooLong) {
    tooLong = false;
    std::size_t length = 0;
    int c = 0;
    while ((c = std::getchar()) != EOF && c != '\n') {
        if (length + 1 < kPathBufferSize) {
            line[length++] = static_cast<char>(c);
        } else {
            tooLong = true;
        }
    }
    if (c == EOF && length == 0 && !tooLong) {
        return false;
    }
    if (length > 0 && line[length - 1] == '\r') {
        --length;
    }
    line[length] = '\0';
    return true;
}

}  // namespace

FileChoice chooseExistingFile(const char* title, char (&path)[kPathBufferSize]) {
    const bool interactive = ::isatty(STDIN_FILENO) != 0;
    for (;;) {
        path[0] = '\0';
        if (interactive) {
            std::fprintf(stderr, "%s\n> ", title);
        }
        bool tooLong = false;
        if (!readLine(path, tooLong) || (path[0] == '\0' && !tooLong)) {
            path[0] = '\0';
            return std::ferror(stdin) ? FileChoice::failed : FileChoice::cancelled;
        }
        if (tooLong || utf16Length(path) >= kPathCharacters) {
            std::fprintf(stderr, "Path too long: at most %zu characters.\n", kPathCharacters - 1);
        } else if (!isExistingRegularFile(path)) {
            std::fprintf(stderr, "%s\nFile not found.\n", path);
        } else {
            return FileChoice::chosen;
        }
    }
}

void showMessage(const char* title, const char* text) {
    std::fprintf(stderr, "%s: %s\n", title, text);
}

std::FILE* openForUpdate(const char* path) {
    return std::fopen(path, "r+b");
}

// File names here are UTF-8; the handheld's Latin set is Windows-1252.
std::size_t handheldCharacter(char32_t character, std::uint8_t (&bytes)[2]) {
    return windows1252Character(character, bytes);
}

}  // namespace recast
