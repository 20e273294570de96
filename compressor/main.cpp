#include <cstdio>

#include "skin_compression.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::printf(
            "USAGE: Tessel.exe someSkin.prc [compressedSkinFilename.prc]\n"
            " to compress \"someSkin.prc\", and call the result \"compressedSkinFilename.prc\"\n");
        return -1;
    }
    const bool passed = tessel::compressSkinDatabase(argv[1], argv[argc - 1]);
    // A console that cannot take the report is a failure too.
    const bool reported = std::fflush(stdout) == 0;
    return passed && reported ? 0 : 1;
}
