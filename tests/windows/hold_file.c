/* Holds a file open without sharing, as an editor or a virus scanner might,
 * while it runs the command line that follows; ends with that command's exit
 * status. A test helper for the Windows programs. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        fputs("usage: hold_file FILE PROGRAM [ARGUMENT...]\n", stderr);
        return 2;
    }
    HANDLE held = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (held == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open the file (error %lu)\n", GetLastError());
        return 2;
    }
    /* The command line after the file's own argument, as it was given. */
    wchar_t* line = GetCommandLineW();
    for (int skipped = 0; skipped < 2; ++skipped) {
        int quoted = 0;
        while (*line != L'\0' && (quoted || (*line != L' ' && *line != L'\t'))) {
            quoted ^= *line == L'"';
            ++line;
        }
        while (*line == L' ' || *line == L'\t') {
            ++line;
        }
    }
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, line, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        fprintf(stderr, "hold_file: cannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 2;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(held);
    return (int)status;
}
