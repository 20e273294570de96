#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

// The temporary file being written, for the signal handler, which may only
// do async-signal-safe work: the name lives in a fixed buffer, filled before
// the file exists and marked done once the file has been renamed or removed.
char pendingTemporary[PATH_MAX];
volatile std::sig_atomic_t temporaryPending = 0;

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void removeTemporaryAndEnd(int signal) {
    if (temporaryPending != 0) {
        ::unlink(pendingTemporary);
    }
    // The handler was reset to the default action on entry: raising the
    // signal again ends the process as it would have ended without us.
    ::raise(signal);
}

// Installed where the signal would end the process anyway; a signal that is
// ignored (nohup) or handled by someone else is left alone.
void installSignalHandlers() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    for (const int signal : kEndingSignals) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
            current.sa_handler != SIG_DFL) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = removeTemporaryAndEnd;
        // The others wait until this one has ended the process; this one
        // stays open, so that raising it again ends the process at once.
        sigemptyset(&action.sa_mask);
        for (const int other : kEndingSignals) {
            if (other != signal) {
                sigaddset(&action.sa_mask, other);
            }
        }
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        ::sigaction(signal, &action, nullptr);
    }
}

// Holds the ending signals back for a scope, so that the handler never sees
// the pending name half-made or a file that is already renamed.
class SignalsHeld {
  public:
    SignalsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signal : kEndingSignals) {
            sigaddset(&held, signal);
        }
        ::sigprocmask(SIG_BLOCK, &held, &before_);
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
    ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }

  private:
    sigset_t before_{};
};

// Creates the temporary file from the template and makes it the one the
// signal handler removes; the template must fit the fixed buffer.
int createPendingTemporary(const std::string& pattern) {
    if (pattern.size() >= sizeof pendingTemporary) {
        errno = ENAMETOOLONG;
        return -1;
    }
    installSignalHandlers();
    const SignalsHeld held;
    std::memcpy(pendingTemporary, pattern.c_str(), pattern.size() + 1);
    const int fd = ::mkstemp(pendingTemporary);
    temporaryPending = fd >= 0 ? 1 : 0;
    return fd;
}

// The errno of the call that just failed; a call that failed without
// setting one counts as an input/output error.
int lastError() {
    return errno != 0 ? errno : EIO;
}

FileWriteResult failure(FileWriteStatus status, int error) {
    return {status, std::strerror(error)};
}

// Renames the pending temporary file over the target, unless writing it
// failed with the error given (0: it did not), or removes it; nothing is
// pending afterwards. Returns the error that kept the file from the target,
// or 0.
int settlePendingTemporary(const std::string& target, int writeError) {
    const SignalsHeld held;
    int error = writeError;
    if (error == 0 && ::rename(pendingTemporary, target.c_str()) != 0) {
        error = lastError();
    }
    if (error != 0) {
        ::unlink(pendingTemporary);
    }
    temporaryPending = 0;
    return error;
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written == 0) {
            errno = EIO;
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
        if (length < 0) {
            return false;
        }
        if (static_cast<std::size_t>(length) >= target.size()) {
            errno = ENAMETOOLONG;  // the link grew since lstat
            return false;
        }
        target.resize(static_cast<std::size_t>(length));
        path = target.front() == '/' ? target : folderOf(path) + "/" + target;
    }
    errno = ELOOP;
    return false;
}

mode_t modeForNewFile(unsigned requested) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(requested) & 0777 & ~mask;
}

FileWriteResult writeInPlace(const std::string& path, std::span<const std::uint8_t> bytes) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC));
    if (file.get() < 0) {
        return failure(FileWriteStatus::cannotOpen, lastError());
    }
    if (!writeAll(file.get(), bytes) || ::close(file.release()) != 0) {
        return failure(FileWriteStatus::cannotWrite, lastError());
    }
    return {};
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

// ".NAME.XXXXXX" in the folder, with as much of NAME as keeps it within the
// folder's limit on a name's length, cut between UTF-8 characters: whatever
// name the target may have, its temporary file may have one too.
std::string temporaryPattern(const std::string& folder, const std::string& name) {
    constexpr std::size_t kAdded = sizeof "..XXXXXX" - 1;
    const long limit = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t longest = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
    std::size_t kept = name.size();
    if (kept + kAdded > longest) {
        kept = longest > kAdded ? longest - kAdded : 0;
        while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) {
            --kept;
        }
    }
    return folder + "/." + name.substr(0, kept) + ".XXXXXX";
}

// existing: the file being replaced, whose owner, group and permission bits
// the new one takes; null for a new file, which gets newMode.
FileWriteResult writeThroughTemporary(const std::string& path, const struct stat* existing,
                                      mode_t newMode, std::span<const std::uint8_t> bytes) {
    // Everything that takes memory comes before the temporary file exists:
    // running out of it then leaves nothing behind.
    const std::string folder = folderOf(path);
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    Descriptor file(createPendingTemporary(temporaryPattern(folder, name)));
    if (file.get() < 0) {
        return failure(FileWriteStatus::cannotOpen, lastError());
    }
    // Owner first: changing it clears the set-id bits that fchmod then sets.
    // Only root may give a file away; anyone else keeps what cp keeps.
    const bool ownerKept = existing == nullptr ||
                           ::fchown(file.get(), existing->st_uid, existing->st_gid) == 0 ||
                           (errno == EPERM && ::geteuid() != 0);
    const mode_t mode = existing == nullptr ? newMode : existing->st_mode & 07777;
    const bool written = ownerKept && ::fchmod(file.get(), mode) == 0 &&
                         writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 &&
                         ::close(file.release()) == 0;
    const int error = settlePendingTemporary(path, written ? 0 : lastError());
    if (error != 0) {
        return failure(FileWriteStatus::cannotWrite, error);
    }
    syncFolder(folder);
    return {};
}

// The permission check that opening the file for writing would make, without
// opening it (which would tell file watchers it was written).
bool mayWrite(const std::string& path) {
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::optional<std::string> realPath(const std::string& path) {
    char* const resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::nullopt;
    }
    std::string real = resolved;
    std::free(resolved);
    return real;
}

bool isInside(const std::string& path, const std::string& folder) {
    if (folder == "/") {
        return path.size() > 1 && path.front() == '/';
    }
    return path.size() > folder.size() + 1 && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// Where the open file really is: the kernel's name for the descriptor, or
// where there is no /proc, the path resolved again when it still leads to the
// same file.
std::optional<std::string> openedPath(int fd, const std::string& path, const struct stat& info) {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::string target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
    if (length > 0 && static_cast<std::size_t>(length) < target.size()) {
        target.resize(static_cast<std::size_t>(length));
        return target;
    }
    const std::optional<std::string> real = realPath(path);
    struct stat now {};
    if (!real || ::stat(real->c_str(), &now) != 0 || now.st_dev != info.st_dev ||
        now.st_ino != info.st_ino) {
        return std::nullopt;
    }
    return real;
}

FileContents failedRead(FileReadStatus status) {
    FileContents contents;
    contents.status = status;
    return contents;
}

}  // namespace

// folder: where the file must lie, or null. The file is located before it is
// opened, so that nothing outside the folder is even opened (opening a device
// can already do something), and again once opened, in case a link changed
// in between. whole: the file to its end within maxBytes, or else only its
// first maxBytes bytes.
FileContents readRegularFile(const std::string& path, const std::string* folder,
                             std::uint64_t maxBytes, bool whole) {
    std::optional<std::string> within;
    if (folder != nullptr) {
        within = realPath(*folder);
        const std::optional<std::string> real = realPath(path);
        // The folder itself is no file to read.
        if (!within || !real || *real == *within) {
            return failedRead(FileReadStatus::cannotOpen);
        }
        if (!isInside(*real, *within)) {
            return failedRead(FileReadStatus::outsideFolder);
        }
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return failedRead(FileReadStatus::cannotOpen);
    }
    if (!S_ISREG(info.st_mode)) {
        return failedRead(FileReadStatus::notRegular);
    }
    if (within) {
        const std::optional<std::string> opened = openedPath(file.get(), path, info);
        if (!opened) {
            return failedRead(FileReadStatus::cannotOpen);
        }
        if (!isInside(*opened, *within)) {
            return failedRead(FileReadStatus::outsideFolder);
        }
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);
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
        const std::size_t wanted =
            room < sizeof chunk ? static_cast<std::size_t>(room) : sizeof chunk;
        const ssize_t got = ::read(file.get(), chunk, wanted);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
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

FileWriteResult replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            unsigned newFileMode, ExistingName existing) {
    std::string target = path;
    if (target.empty()) {
        return failure(FileWriteStatus::cannotOpen, ENOENT);
    }
    if (existing == ExistingName::follow && !resolveLinks(target)) {
        return failure(FileWriteStatus::cannotOpen, lastError());
    }
    struct stat info {};
    const bool found = existing == ExistingName::follow ? ::stat(target.c_str(), &info) == 0
                                                        : ::lstat(target.c_str(), &info) == 0;
    if (!found) {
        if (errno != ENOENT) {
            return failure(FileWriteStatus::cannotOpen, lastError());
        }
        return writeThroughTemporary(target, nullptr, modeForNewFile(newFileMode), bytes);
    }
    if (S_ISREG(info.st_mode)) {
        if (!mayWrite(target)) {
            return failure(FileWriteStatus::cannotOpen, lastError());
        }
        return writeThroughTemporary(target, &info, 0, bytes);
    }
    if (existing == ExistingName::follow) {
        return writeInPlace(target, bytes);
    }
    // A folder of that name cannot be replaced; a link or node can.
    if (S_ISDIR(info.st_mode)) {
        return failure(FileWriteStatus::cannotOpen, EISDIR);
    }
    return writeThroughTemporary(target, nullptr, modeForNewFile(newFileMode), bytes);
}

}  // namespace prc
