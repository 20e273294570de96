#include <windows.h>

#include <cstdio>

#include "console_window.h"

namespace platform {
namespace {

// A console handle answers GetConsoleMode; a file, a pipe or NUL (a
// character device too) does not.
bool isConsole(DWORD standardHandle) {
    const HANDLE handle = ::GetStdHandle(standardHandle);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           ::GetFileType(handle) == FILE_TYPE_CHAR && ::GetConsoleMode(handle, &mode) != 0;
}

bool underWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ConsoleFacts consoleFacts() {
    ConsoleFacts facts;
    // The list needs room for one entry at least; the count comes back
    // whether or not the rest fits.
    DWORD processes[2] = {};
    facts.processesOnConsole = ::GetConsoleProcessList(processes, 2);
    facts.inputIsConsole = isConsole(STD_INPUT_HANDLE);
    facts.outputIsConsole = isConsole(STD_OUTPUT_HANDLE);
    facts.errorIsConsole = isConsole(STD_ERROR_HANDLE);
    facts.underWine = underWine();
    return facts;
}

// Shift, Ctrl, Alt and the Windows keys come with switching to the window
// and are no answer.
bool isModifier(WORD key) {
    return key == VK_SHIFT || key == VK_CONTROL || key == VK_MENU || key == VK_LWIN ||
           key == VK_RWIN;
}

void waitForKey(HANDLE input) {
    // Keys pressed while the program ran were not meant as this answer.
    ::FlushConsoleInputBuffer(input);
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!::ReadConsoleInputW(input, &record, 1, &read) || read == 0) {
            return;
        }
        if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
            !isModifier(record.Event.KeyEvent.wVirtualKeyCode)) {
            return;
        }
    }
}

}  // namespace

void holdOwnConsoleWindow() {
    if (!waitsForKeyBeforeClosing(consoleFacts())) {
        return;
    }
    std::fputs("Press any key to close this window.", stdout);
    std::fflush(stdout);
    waitForKey(::GetStdHandle(STD_INPUT_HANDLE));
}

}  // namespace platform
