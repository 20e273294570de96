#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "checked_file.h"
#include "command_line.h"
#include "console_output.h"
#include "recast_platform.h"
#include "recast_rules.h"
#include "skin_conversion.h"

namespace {

recast::FileChoice chooseSkinFile(char (&path)[recast::kPathBufferSize]) {
    return recast::chooseExistingFile("Select skin to convert from T3 to Orvane.", path);
}

int convertChosenSkin(int argc, char** argv) {
    using namespace recast;
    const std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
    if (arguments.size() != 1) {
        switch (chooseSkinFile(skinPath)) {
            case FileChoice::chosen:
                break;
            case FileChoice::cancelled:
                return 0;
            case FileChoice::failed:
                fatalError("Error reading input file.");
        }
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    return convertSkinFile(arguments.size() == 1 ? arguments[0].c_str() : skinPath);
}

}  // namespace

int main(int argc, char** argv) {
    // Only the arguments and the messages take memory from the heap, all
    // before the file is opened or after it is closed: running out ends the
    // run like any other failure, with the file as it was.
    try {
        const int status = convertChosenSkin(argc, argv);
        // The terminal stand-in's messages are the report: one that was lost
        // fails the run, though the file is converted.
        return platform::consoleOutputWritten() ? status : 1;
    } catch (const std::bad_alloc&) {
        recast::fatalError("Out of memory.");
    }
}
