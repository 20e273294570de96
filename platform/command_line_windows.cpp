#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include "command_line.h"
#include "wide_text.h"

namespace platform {

std::vector<std::string> commandLineArguments(int /*argc*/, char** /*argv*/) {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        arguments.push_back(utf8FromWide(wide[i]));
    }
    ::LocalFree(wide);
    return arguments;
}

void useUtf8Console() {
    ::SetConsoleOutputCP(CP_UTF8);
}

bool isHelpSwitch(std::string_view argument) {
    return argument == "/?";
}

}  // namespace platform
