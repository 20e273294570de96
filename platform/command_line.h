// What every program needs of the platform before it can name a file: its
// arguments as UTF-8, whatever the system's code page, and a console that
// shows UTF-8 text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The arguments after the program name. On Windows they are taken from the
// wide command line: the narrow argv holds the code page's "best fit" of
// characters it cannot represent, which may name another file.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Makes UTF-8 text written to standard output and standard error show as such
// on a console (a no-op where consoles already speak UTF-8).
void useUtf8Console();

// Whether the argument asks for help the platform's own way: "/?" on Windows,
// where a '?' cannot stand in a file name; on POSIX systems it is a path.
bool isHelpSwitch(std::string_view argument);

}  // namespace platform
