// A console window that belongs to the program alone: Windows opens one when
// a console program is started from Explorer (a skin dropped on it, a double
// click) and closes it the moment the program ends, report and all.
#pragma once

namespace platform {

// What the program can tell about its console and standard streams.
struct ConsoleFacts {
    unsigned processesOnConsole = 0;  // 0: no console at all
    bool inputIsConsole = false;      // standard input reads the console's keys
    bool outputIsConsole = false;     // standard output shows in its window
    bool errorIsConsole = false;      // standard error shows in its window
    // Wine counts a program started from a Unix terminal alone on its
    // console, though the shell there shares it.
    bool underWine = false;
};

// Whether the program should ask for a key before it ends: only when nobody
// else shares the console (no shell waits to show its prompt there), all
// three streams are that console, and the count can be trusted. Any
// redirection means a script or another program runs it, and they must never
// be kept waiting.
bool waitsForKeyBeforeClosing(const ConsoleFacts& facts);

// At the very end of a run, after everything is written: when the rule above
// says so, writes "Press any key to close this window." to standard output
// and waits for a key. Never waits on POSIX systems, where a terminal
// emulator's window belongs to its shell.
void holdOwnConsoleWindow();

}  // namespace platform
