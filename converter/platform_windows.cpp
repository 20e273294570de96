#include <windows.h>
// commdlg.h needs the types of windows.h first.
#include <commdlg.h>

#include <cstring>

#include "platform.h"

namespace recast {

int chooseExistingFile(const char* title, char (&path)[kPathBufferSize]) {
    path[0] = '\0';
    OPENFILENAMEA dialog;
    std::memset(&dialog, 0, sizeof dialog);
    // The structure without its last three members: 76 bytes in a 32-bit
    // program. A 64-bit program must give that layout's own size, or the
    // dialog refuses to open.
    static_assert(sizeof(void*) != 4 || OPENFILENAME_SIZE_VERSION_400A == 76);
    dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    dialog.hwndOwner = nullptr;
    dialog.lpstrFilter = "Palm database\0*.prc\0All files\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = kPathBufferSize;
    dialog.lpstrTitle = title;
    dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;  // 0x1804
    return GetOpenFileNameA(&dialog);
}

void showMessage(const char* title, const char* text) {
    MessageBoxA(nullptr, text, title, MB_OK);
}

}  // namespace recast
