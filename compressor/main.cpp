#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "skin_compression.h"

int main(int argc, char** argv) {
    const std::vector<std::string> paths = platform::commandLineArguments(argc, argv);
    if (paths.size() != 1 && paths.size() != 2) {
        std::printf(
            "USAGE: Tessel.exe someSkin.prc [compressedSkinFilename.prc]\n"
            " to compress \"someSkin.prc\", and call the result \"compressedSkinFilename.prc\"\n");
        return -1;
    }
    const bool passed = tessel::compressSkinDatabase(paths.front(), paths.back());
    // A console that cannot take the report is a failure too.
    const bool reported = std::fflush(stdout) == 0;
    return passed && reported ? 0 : 1;
}
