#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "file_access.h"

namespace prc {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }
    // Hands the descriptor back so that the caller can check the close.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Follows a chain of symbolic links to the path of the file it finally names
// (which need not exist), so that the rename replaces that file and leaves the
// links in place.
bool resolveLinks(std::string& path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        std::string target(static_cast<std::size_t>(info.st_size) + 256, '\0');
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) {
            return false;
        }
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
    }
    return false;
}

mode_t modeForNewFile(unsigned requested) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(requested) & 0777 & ~mask;
}

FileWriteStatus writeInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (file.get() < 0) {
        return FileWriteStatus::cannotOpen;
    }
    if (!writeAll(file.get(), bytes)) {
        return FileWriteStatus::cannotWrite;
    }
    return ::close(file.release()) == 0 ? FileWriteStatus::ok : FileWriteStatus::cannotWrite;
}

// The rename lives in the folder's entries: until they reach the disk, a power
// cut can bring the old file back, or neither. The new content is in place by
// now and cannot be taken back, so a folder that cannot be synced (opened
// without read permission, a file system without directory sync) is no
// failure of the replacement.
void syncFolder(const std::string& folder) {
    Descriptor entries(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (entries.get() >= 0) {
        ::fsync(entries.get());
    }
}

FileWriteStatus writeThroughTemporary(const std::string& path, mode_t mode,
                                      std::span<const std::uint8_t> bytes) {
    const std::size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folderOf(path) + "/." + base + ".XXXXXX";
    Descriptor file(::mkstemp(temporary.data()));
    if (file.get() < 0) {
        return FileWriteStatus::cannotOpen;
    }
    const bool written = ::fchmod(file.get(), mode) == 0 && writeAll(file.get(), bytes) &&
                         ::fsync(file.get()) == 0 && ::close(file.release()) == 0 &&
                         ::rename(temporary.c_str(), path.c_str()) == 0;
    if (!written) {
        ::unlink(temporary.c_str());
        return FileWriteStatus::cannotWrite;
    }
    syncFolder(folderOf(path));
    return FileWriteStatus::ok;
}

}  // namespace

FileContents readWholeFile(const std::string& path) {
    FileContents contents;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        contents.status = FileReadStatus::cannotOpen;
        return contents;
    }
    if (S_ISREG(info.st_mode)) {
        contents.bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    std::uint8_t chunk[65536];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            contents.status = FileReadStatus::cannotRead;
            contents.bytes.clear();
            return contents;
        }
        if (got == 0) {
            break;
        }
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
    }
    contents.status = FileReadStatus::ok;
    return contents;
}

FileWriteStatus replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            unsigned newFileMode) {
    std::string target = path;
    if (target.empty() || !resolveLinks(target)) {
        return FileWriteStatus::cannotOpen;
    }
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) {
            return writeInPlace(target, bytes);
        }
        return writeThroughTemporary(target, info.st_mode & 07777, bytes);
    }
    if (errno != ENOENT) {
        return FileWriteStatus::cannotOpen;
    }
    return writeThroughTemporary(target, modeForNewFile(newFileMode), bytes);
}

}  // namespace prc
