// Every call takes the path in its extended-length form through the W
// functions: the ANSI ones see the code page's "best fit" of a name, which can
// be another file, and stop at 260 characters.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>

#include "file_access.h"
#include "wide_text.h"

namespace prc {
namespace {

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(Handle&& other) noexcept : handle_(other.handle_) {
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&&) = delete;
    ~Handle() {
        if (valid()) {
            ::CloseHandle(handle_);
        }
    }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Hands the handle back so that the caller can check the close.
    bool close() {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(handle) != 0;
    }

  private:
    HANDLE handle_;
};

bool isSharingError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_USER_MAPPED_FILE;
}

// The system's words for an error, as UTF-8 without the line end that
// FormatMessageW puts after them.
std::string systemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 && text != nullptr ? std::wstring(text, length) : L"";
    ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.pop_back();
    }
    return message.empty() ? "error " + std::to_string(error) : platform::utf8FromWide(message);
}

FileWriteResult failure(FileWriteStatus status, DWORD error) {
    return {status, systemMessage(error)};
}

bool writeAll(HANDLE file, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const DWORD piece =
            bytes.size() > 0x40000000u ? 0x40000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data(), piece, &written, nullptr)) {
            return false;
        }
        if (written == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        bytes = bytes.subspan(written);
    }
    return true;
}

// The file a chain of symbolic links finally names, so that the replacement
// lands there and the links stay links, as on POSIX.
std::wstring resolveLinks(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return path;
    }
    Handle target(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!target.valid()) {
        return path;
    }
    wchar_t buffer[32768];
    const DWORD length = ::GetFinalPathNameByHandleW(target.get(), buffer, 32768, 0);
    return length == 0 || length >= 32768 ? path : std::wstring(buffer, length);
}

std::size_t nameStart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? 0 : separator + 1;
}

FileWriteResult writeInPlace(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    Handle file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        return failure(isSharingError(error) ? FileWriteStatus::inUse : FileWriteStatus::cannotOpen,
                       error);
    }
    if (!writeAll(file.get(), bytes)) {
        return failure(FileWriteStatus::cannotWrite, ::GetLastError());
    }
    if (!file.close()) {
        return failure(FileWriteStatus::cannotWrite, ::GetLastError());
    }
    return {};
}

// Whether another program holds the file so that it could not be replaced:
// asked before anything is written, so that nothing changes.
bool heldByAnotherProgram(const std::wstring& path) {
    Handle probe(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !probe.valid() && isSharingError(::GetLastError());
}

// The temporary file being written, for the console's control handler: the
// name is prepared before the file is made, and the lock keeps the handler
// from acting while the file is being renamed or removed.
SRWLOCK pendingLock = SRWLOCK_INIT;
wchar_t pendingTemporary[32768];
bool temporaryPending = false;

// Ctrl-C, Ctrl-Break and closing the console end the process once the
// handlers have run; the temporary file must not outlive it. The handler runs
// on a thread of its own, so it may wait for the lock. The temporary file is
// shared for deletion, so that it goes when the writer's handle closes.
BOOL WINAPI removeTemporaryOnInterrupt(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        ::AcquireSRWLockExclusive(&pendingLock);
        if (temporaryPending) {
            ::DeleteFileW(pendingTemporary);
            temporaryPending = false;
        }
        ::ReleaseSRWLockExclusive(&pendingLock);
    }
    return FALSE;  // the default handler ends the process
}

void installControlHandler() {
    static bool installed = false;
    if (!installed) {
        installed = ::SetConsoleCtrlHandler(removeTemporaryOnInterrupt, TRUE) != 0;
    }
}

// A short name beside the target: eight characters, so that the temporary
// file's path is never what makes a path too long, and its name fits wherever
// the target's does. When none can be made, the last error says why.
Handle createTemporaryBeside(const std::wstring& target, std::wstring& temporary) {
    static unsigned attempt = 0;
    installControlHandler();
    const unsigned seed = ::GetCurrentProcessId() * 2654435761u;
    for (int tries = 0; tries < 100; ++tries) {
        wchar_t name[16];
        std::swprintf(name, 16, L"~%07x", (seed + attempt++) & 0xFFFFFFFu);
        temporary = target.substr(0, nameStart(target)) + name;
        if (temporary.size() >= std::size(pendingTemporary)) {
            ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
            break;
        }
        ::AcquireSRWLockExclusive(&pendingLock);
        Handle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        const DWORD error = ::GetLastError();
        if (file.valid()) {
            temporary.copy(pendingTemporary, temporary.size());
            pendingTemporary[temporary.size()] = L'\0';
            temporaryPending = true;
        }
        ::ReleaseSRWLockExclusive(&pendingLock);
        ::SetLastError(error);
        if (file.valid() || error != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return Handle(INVALID_HANDLE_VALUE);
}

// Ends what createTemporaryBeside began: runs the step that renames or
// removes the temporary file while the control handler waits, so that it
// never deletes the new content or a file of the same name made later.
template <typename Step>
auto settlePendingTemporary(Step step) {
    ::AcquireSRWLockExclusive(&pendingLock);
    const auto result = step();
    temporaryPending = false;
    ::ReleaseSRWLockExclusive(&pendingLock);
    return result;
}

// Not every ReplaceFileW carries the attributes over (Wine's does not), and a
// hidden file that comes back visible is a surprise; where they were kept,
// this changes nothing.
void keepAttributes(const std::wstring& path, DWORD before) {
    constexpr DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD now = ::GetFileAttributesW(path.c_str());
    if (now != INVALID_FILE_ATTRIBUTES && (now & kept) != (before & kept)) {
        constexpr DWORD settable =
            kept | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE;
        const DWORD wanted = ((now & ~kept) | (before & kept)) & settable;
        ::SetFileAttributesW(path.c_str(), wanted == 0 ? FILE_ATTRIBUTE_NORMAL : wanted);
    }
}

FileContents failedRead(FileReadStatus status) {
    FileContents contents;
    contents.status = status;
    return contents;
}

// The name Windows has for an open file or folder, every link and junction
// followed: "\\?\C:\folder\file".
std::wstring finalPath(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            handle, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(length);
    }
}

// Names differ in case only as the file system sees them: compared without
// it, as NTFS does.
bool isInside(const std::wstring& path, const std::wstring& folder) {
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != L'\\') {
        prefix += L'\\';
    }
    return path.size() > prefix.size() &&
           ::CompareStringOrdinal(path.data(), static_cast<int>(prefix.size()), prefix.data(),
                                  static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool liesInside(HANDLE file, const std::string& folder) {
    const Handle entries(::CreateFileW(platform::extendedLengthPath(folder).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                       nullptr));
    if (!entries.valid()) {
        return false;
    }
    const std::wstring within = finalPath(entries.get());
    const std::wstring opened = finalPath(file);
    return !within.empty() && !opened.empty() && isInside(opened, within);
}

}  // namespace

// folder: where the file must lie, or null. A file outside is opened (which
// does nothing to a disk file) and refused before it is read. whole: the file
// to its end within maxBytes, or else only its first maxBytes bytes.
FileContents readRegularFile(const std::string& path, const std::string* folder,
                             std::uint64_t maxBytes, bool whole) {
    // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, which is
    // what makes it fail here like a missing file.
    Handle file(::CreateFileW(platform::extendedLengthPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        return failedRead(FileReadStatus::cannotOpen);
    }
    // Consoles, pipes and devices: reading them could wait or never end.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return failedRead(FileReadStatus::notRegular);
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!::GetFileInformationByHandle(file.get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return failedRead(FileReadStatus::cannotOpen);
    }
    if (folder != nullptr && !liesInside(file.get(), *folder)) {
        return failedRead(FileReadStatus::outsideFolder);
    }
    const std::uint64_t size =
        (static_cast<std::uint64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    if (whole && size > maxBytes) {
        return failedRead(FileReadStatus::tooLarge);
    }
    FileContents contents;
    contents.size = size;
    contents.bytes.reserve(static_cast<std::size_t>(std::min(size, maxBytes)));
    std::uint8_t chunk[65536];
    // One byte past the limit tells a whole file that grew too large.
    const std::uint64_t wantedAtMost = whole ? maxBytes + 1 : maxBytes;
    while (contents.bytes.size() < wantedAtMost) {
        const std::uint64_t room = wantedAtMost - contents.bytes.size();
        const DWORD wanted = room < sizeof chunk ? static_cast<DWORD>(room) : sizeof chunk;
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, wanted, &got, nullptr)) {
            return failedRead(FileReadStatus::cannotRead);
        }
        if (got == 0) {
            break;
        }
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
    }
    if (contents.bytes.size() > maxBytes) {
        return failedRead(FileReadStatus::tooLarge);
    }
    contents.status = FileReadStatus::ok;
    return contents;
}

// Windows has no mode bits: a new file inherits its folder's permissions.
FileWriteResult replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            unsigned /*newFileMode*/, ExistingName existingName) {
    if (path.empty()) {
        return failure(FileWriteStatus::cannotOpen, ERROR_PATH_NOT_FOUND);
    }
    const bool follow = existingName == ExistingName::follow;
    const std::wstring extended = platform::extendedLengthPath(path);
    const std::wstring target = follow ? resolveLinks(extended) : extended;
    // Devices (NUL, CON, COM1) live in the \\.\ namespace: writing to them is
    // all they take.
    if (follow && target.rfind(L"\\\\.\\", 0) == 0) {
        return writeInPlace(target, bytes);
    }
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return failure(FileWriteStatus::cannotOpen, ::GetLastError());
    }
    // A read-only file could not have been opened for writing; it must not be
    // replaced behind the user's back either. Opening either for writing is
    // refused as access denied.
    if (exists && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
        return failure(FileWriteStatus::cannotOpen, ERROR_ACCESS_DENIED);
    }
    if (exists && heldByAnotherProgram(target)) {
        return failure(FileWriteStatus::inUse, ERROR_SHARING_VIOLATION);
    }

    std::wstring temporary;
    Handle file = createTemporaryBeside(target, temporary);
    if (!file.valid()) {
        return failure(FileWriteStatus::cannotOpen, ::GetLastError());
    }
    const bool written = writeAll(file.get(), bytes) && ::FlushFileBuffers(file.get());
    DWORD error = written ? ERROR_SUCCESS : ::GetLastError();
    if (!file.close() && error == ERROR_SUCCESS) {
        error = ::GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        settlePendingTemporary([&] { return ::DeleteFileW(temporary.c_str()); });
        return failure(FileWriteStatus::cannotWrite, error);
    }
    // A name of the program's own choosing is renamed over: the rename
    // replaces a link itself, where ReplaceFileW or deleting the link first
    // may reach what it points to (Wine deletes the target).
    if (!exists || !follow) {
        return settlePendingTemporary([&] {
            if (::MoveFileExW(temporary.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
                return FileWriteResult{};
            }
            const DWORD moveError = ::GetLastError();
            ::DeleteFileW(temporary.c_str());
            return failure(FileWriteStatus::cannotWrite, moveError);
        });
    }
    return settlePendingTemporary([&] {
        // ReplaceFileW carries the old file's attributes, security, streams and
        // creation time over to the new content, which a rename would drop.
        if (::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH,
                           nullptr, nullptr)) {
            keepAttributes(target, attributes);
            return FileWriteResult{};
        }
        const DWORD replaceError = ::GetLastError();
        if (replaceError == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
            // The old file is gone and the temporary file is the only copy: it
            // must reach the target's name, never be deleted.
            if (::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
                return FileWriteResult{};
            }
            return failure(FileWriteStatus::cannotWrite, ::GetLastError());
        }
        ::DeleteFileW(temporary.c_str());
        return failure(
            isSharingError(replaceError) || replaceError == ERROR_UNABLE_TO_REMOVE_REPLACED
                ? FileWriteStatus::inUse
                : FileWriteStatus::cannotWrite,
            replaceError);
    });
}

}  // namespace prc
