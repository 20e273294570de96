#include "command_line.h"

namespace platform {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return {argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0)};
}

void useUtf8Console() {}

bool isHelpSwitch(std::string_view /*argument*/) {
    return false;
}

}  // namespace platform
