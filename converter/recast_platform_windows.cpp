#include <windows.h>
// commdlg.h needs the types of windows.h first.
#include <commdlg.h>

#include <cstring>
#include <string>

#include "recast_platform.h"
#include "recast_rules.h"
#include "wide_text.h"

namespace recast {
namespace {

std::wstring wide(const char* text) {
    return platform::wideFromUtf8(text);
}

// A console that Windows opened for Recast alone (started from Explorer)
// would stand empty behind the dialog; one shared with a shell stays.
void hideOwnConsole() {
    DWORD processes[2] = {};
    const HWND console = GetConsoleWindow();
    if (console != nullptr && GetConsoleProcessList(processes, 2) == 1) {
        ShowWindow(console, SW_HIDE);
    }
}

}  // namespace

FileChoice chooseExistingFile(const char* title, char (&path)[kPathBufferSize]) {
    hideOwnConsole();
    path[0] = '\0';
    wchar_t chosen[kPathCharacters] = {};
    const std::wstring wideTitle = wide(title);
    OPENFILENAMEW dialog;
    std::memset(&dialog, 0, sizeof dialog);
    // The structure without its last three members, as in the 32-bit program
    // (76 bytes there); a 64-bit program must give that layout's own size, or
    // the dialog refuses to open.
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    dialog.hwndOwner = nullptr;
    dialog.lpstrFilter = L"Palm database\0*.prc\0All files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen;
    dialog.nMaxFile = kPathCharacters;
    dialog.lpstrTitle = wideTitle.c_str();
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;  // 0x1804
    if (GetOpenFileNameW(&dialog)) {
        const std::string utf8 = platform::utf8FromWide(chosen);
        std::memcpy(path, utf8.c_str(), utf8.size() + 1);
        return FileChoice::chosen;
    }
    // FALSE is also the answer when the dialog itself failed (a path longer
    // than its buffer, say): that is no cancel.
    return CommDlgExtendedError() == 0 ? FileChoice::cancelled : FileChoice::failed;
}

void showMessage(const char* title, const char* text) {
    hideOwnConsole();
    MessageBoxW(nullptr, wide(text).c_str(), wide(title).c_str(), MB_OK);
}

std::FILE* openForUpdate(const char* path) {
    return ::_wfopen(wide(path).c_str(), L"r+b");
}

// The system's ANSI code page: the set the name's bytes had when the name
// came through the ANSI functions. Where that is UTF-8, which Palm OS cannot
// show, its Latin set stands in.
std::size_t handheldCharacter(char32_t character, std::uint8_t (&bytes)[2]) {
    const UINT codePage = GetACP();
    if (codePage == CP_UTF8) {
        return windows1252Character(character, bytes);
    }
    wchar_t units[2];
    int unitCount = 1;
    if (character >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        unitCount = 2;
    } else {
        units[0] = static_cast<wchar_t>(character);
    }
    char converted[8];
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, unitCount,
                                           converted, sizeof converted, nullptr, &usedDefault);
    if (length <= 0 || length > 2 || usedDefault) {
        return 0;
    }
    std::memcpy(bytes, converted, static_cast<std::size_t>(length));
    return static_cast<std::size_t>(length);
}

}  // namespace recast
