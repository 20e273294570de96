// Lumen: shows what a skin holds, checks it, exports its bitmaps as PNG
// files with a contact sheet and a manifest, builds skins from PNG files,
// puts an edited image back, and unpacks what Tessel compressed.
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "console_output.h"
#include "console_window.h"
#include "shown_text.h"

namespace {

constexpr const char* kUsage =
    "Usage: Lumen list SKIN            the database and its resources, one line each\n"
    "       Lumen check SKIN...        decode every container and bitmap; status 1 if any is "
    "damaged\n"
    "       Lumen export SKIN FOLDER   every bitmap as FOLDER/<id>.png, FOLDER/index.html, and\n"
    "                                  FOLDER/skin.toml with every resource's bytes for build\n"
    "       Lumen build FOLDER OUTPUT  a skin from FOLDER/skin.toml and the files it names\n"
    "       Lumen replace SKIN ID IMAGE OUTPUT\n"
    "                                  a copy with bitmap ID's members of IMAGE's size drawn\n"
    "                                  anew from the PNG file IMAGE\n"
    "       Lumen unpack SKIN OUTPUT   a copy with every container a plain bitmap again\n"
    "       Lumen SKIN                 a skin alone, as dropped on Lumen: export into the folder\n"
    "                                  of its name beside it (NAME (2) ... if that holds anything\n"
    "                                  but an unchanged export of it), then open its index.html\n"
    "       Lumen FOLDER               a folder alone: build into FOLDER.prc beside it, or\n"
    "                                  FOLDER (2).prc ... if that exists\n"
    "       Lumen --help | --version\n"
    "\n"
    "Every key of skin.toml, its values and its default: THE MANIFEST in Lumen's\n"
    "manual (man Lumen; on Windows Lumen.txt, beside Lumen.exe).\n";

int usageError(const std::string& what) {
    std::fprintf(stderr, "Lumen: %s\n%s", what.c_str(), kUsage);
    return 1;
}

}  // namespace

namespace {

int runCommand(const std::string& command, const std::vector<std::string>& operands) {
    if ((command == "--help" || command == "-h" || platform::isHelpSwitch(command)) &&
        operands.empty()) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "--version" && operands.empty()) {
        std::puts("Lumen " LUMEN_VERSION);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (command == "list" && operands.size() == 1) {
        return lumen::listSkin(operands[0]);
    }
    if (command == "check" && !operands.empty()) {
        return lumen::checkSkins(operands);
    }
    if (command == "export" && operands.size() == 2) {
        return lumen::exportSkin(operands[0], operands[1]);
    }
    if (command == "unpack" && operands.size() == 2) {
        return lumen::unpackSkin(operands[0], operands[1]);
    }
    if (command == "build" && operands.size() == 2) {
        return lumen::buildSkin(operands[0], operands[1]);
    }
    if (command == "replace" && operands.size() == 4) {
        return lumen::replaceBitmap(operands[0], operands[1], operands[2], operands[3]);
    }
    if (command == "list" || command == "check" || command == "export" || command == "unpack" ||
        command == "build" || command == "replace") {
        return usageError("wrong number of arguments for " + command);
    }
    // A command's name wins over a file of that name ("./list" is the file).
    if (operands.empty()) {
        if (const std::optional<int> status = lumen::runDropped(command)) {
            return *status;
        }
    }
    return usageError("unknown command '" + lumen::shownPath(command) + "'");
}

int run(int argc, char** argv) {
    platform::useUtf8Console();
    const std::vector<std::string> arguments = platform::commandLineArguments(argc, argv);
    if (arguments.empty()) {
        return usageError("no command given");
    }
    const std::vector<std::string> operands(arguments.begin() + 1, arguments.end());
    // The budgets keep what a skin may ask for well below what a machine
    // has; should memory still run out, the run ends as any other failure.
    try {
        const int status = runCommand(arguments[0], operands);
        // A report that did not reach standard output fails the command,
        // whatever it wrote.
        if (!platform::consoleOutputWritten()) {
            lumen::reportFailure("standard output", "cannot write the report");
            return 1;
        }
        return status;
    } catch (const std::bad_alloc&) {
        lumen::reportFailure(operands.empty() ? arguments[0] : operands[0], "out of memory");
    } catch (const std::exception& failure) {
        lumen::reportFailure(operands.empty() ? arguments[0] : operands[0], failure.what());
    }
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    platform::holdOwnConsoleWindow();
    return status;
}
