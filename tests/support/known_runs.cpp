#include "known_runs.h"

#include <stdexcept>

#include "files.h"

namespace testsupport {

const std::vector<KnownRun>& knownRuns() {
    static const std::vector<KnownRun> runs = {
        {"sample-skin.prc",
         "File has 13 resrouces\n"
         "Image 31000 compressed from 307224 to 24145 bytes!\n"
         "Image 31020 compressed from 4120 to 719 bytes!\n"
         "Image 31021 compressed from 4120 to 723 bytes!\n"
         "Image 31022 compressed from 4120 to 662 bytes!\n"
         "Image 31023 compressed from 4120 to 631 bytes!\n"
         "Image 31010 compressed from 272 to 89 bytes!\n"
         "Image 31011 compressed from 272 to 88 bytes!\n"
         "Image 31012 compressed from 1040 to 91 bytes!\n"
         "Image 31013 compressed from 1040 to 88 bytes!\n"
         "\nTotal compression: 327719->28627 bytes\n",
         "07f9c20e6a589186c9d5fe66c044f9e05763b4b6adbd78eb5af88fed5b9b653a"},
        {"demo-skin.prc",
         "File has 9 resrouces\n"
         "Image 31000 compressed from 307224 to 40123 bytes!\n"
         "Image 31001 compressed from 6168 to 5712 bytes!\n"
         "Image 31010 compressed from 2542 to 1155 bytes!\n"
         "Image 31011 compressed from 2072 to 792 bytes!\n"
         "\nTotal compression: 374188->103964 bytes\n",
         "0a76d3fef637bcadc8dd149484a99e7db64f84c70e9df1ecf83596491ff45c4f"},
        {"photo-skin.prc",
         "File has 4 resrouces\n"
         "Image 31100 compressed from 307224 to 92148 bytes!\n"
         "Image 31101 compressed from 204824 to 77477 bytes!\n"
         "Image 31102 compressed from 39218 to 14984 bytes!\n"
         "\nTotal compression: 551266->184609 bytes\n",
         "92038e9ab6546ac01a5c86503c4aeef637d5280e64ab7523f3a7d49c97b42cc3"},
    };
    return runs;
}

const KnownRun& knownRun(const std::string& skin) {
    for (const KnownRun& run : knownRuns()) {
        if (run.skin == skin) {
            return run;
        }
    }
    throw std::invalid_argument("no known run for " + skin);
}

std::string sha256Of(const std::filesystem::path& file) {
    const RunResult run = runProgram({"/usr/bin/sha256sum", "-b", file.string()});
    return run.exitStatus == 0 ? run.out.substr(0, 64) : "sha256sum failed: " + run.err;
}

}  // namespace testsupport
