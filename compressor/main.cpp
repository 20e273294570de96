#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "console_output.h"
#include "console_window.h"
#include "skin_compression.h"

namespace {

int compress(int argc, char** argv) {
    const std::vector<std::string> paths = platform::commandLineArguments(argc, argv);
    if ((paths.size() != 1 && paths.size() != 2) ||
        std::any_of(paths.begin(), paths.end(), platform::isHelpSwitch)) {
        std::printf(
            "USAGE: Tessel.exe someSkin.prc [compressedSkinFilename.prc]\n"
            " to compress \"someSkin.prc\", and call the result \"compressedSkinFilename.prc\"\n");
        // Wrong arguments keep their status even when the usage is lost too.
        return -1;
    }
    const bool passed = tessel::compressSkinDatabase(paths.front(), paths.back());
    // A report that did not reach the console is a failure too, though the
    // database was written: standard error is the one place left to say so.
    if (!platform::consoleOutputWritten()) {
        std::fputs("ERR: cannot write the report to standard output!\n", stderr);
        return 1;
    }
    return passed ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = compress(argc, argv);
    // A skin dropped on Tessel.exe opens a window that would close with the
    // report unread.
    platform::holdOwnConsoleWindow();
    return status;
}
