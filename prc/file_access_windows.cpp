#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>

#include "file_access.h"

namespace prc {
namespace {

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const unsigned piece =
            bytes.size() > 0x40000000u ? 0x40000000u : static_cast<unsigned>(bytes.size());
        const int written = ::_write(fd, bytes.data(), piece);
        if (written <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::size_t nameStart(const std::string& path) {
    const std::size_t separator = path.find_last_of("/\\:");
    return separator == std::string::npos ? 0 : separator + 1;
}

FileWriteStatus writeInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
    const int fd = ::_open(path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY);
    if (fd < 0) {
        return FileWriteStatus::cannotOpen;
    }
    const bool written = writeAll(fd, bytes);
    const bool closed = ::_close(fd) == 0;
    return written && closed ? FileWriteStatus::ok : FileWriteStatus::cannotWrite;
}

}  // namespace

FileContents readWholeFile(const std::string& path) {
    FileContents contents;
    const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        contents.status = FileReadStatus::cannotOpen;
        return contents;
    }
    std::uint8_t chunk[65536];
    for (;;) {
        const int got = ::_read(fd, chunk, sizeof chunk);
        if (got < 0) {
            ::_close(fd);
            contents.status = FileReadStatus::cannotRead;
            contents.bytes.clear();
            return contents;
        }
        if (got == 0) {
            break;
        }
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
    }
    ::_close(fd);
    contents.status = FileReadStatus::ok;
    return contents;
}

FileWriteStatus replaceFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    struct _stat64 info {};
    const bool exists = ::_stat64(path.c_str(), &info) == 0;
    if (exists && (info.st_mode & _S_IFMT) != _S_IFREG) {
        return writeInPlace(path, bytes);
    }
    // A read-only file could not have been opened for writing; it must not be
    // replaced behind the user's back either.
    if (exists && ::_access(path.c_str(), 2) != 0) {
        return FileWriteStatus::cannotOpen;
    }

    static unsigned attempt = 0;
    std::string temporary;
    int fd = -1;
    for (int tries = 0; tries < 100 && fd < 0; ++tries) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".tessel-%d-%u.tmp", ::_getpid(), attempt++);
        temporary = path.substr(0, nameStart(path)) + suffix;
        fd = ::_open(temporary.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY,
                     _S_IREAD | _S_IWRITE);
    }
    if (fd < 0) {
        return FileWriteStatus::cannotOpen;
    }
    const bool written = writeAll(fd, bytes) && ::_commit(fd) == 0;
    const bool closed = ::_close(fd) == 0;
    if (!written || !closed ||
        !::MoveFileExA(temporary.c_str(), path.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::_unlink(temporary.c_str());
        return FileWriteStatus::cannotWrite;
    }
    return FileWriteStatus::ok;
}

}  // namespace prc
