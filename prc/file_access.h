// The only place where Tessel and Lumen touch the file system, so that POSIX
// and Windows differ in one file each.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace prc {

// notRegular: a device, a pipe or a socket, which could block or never end.
// tooLarge: more bytes than the caller can use. outsideFolder: the file lies,
// once every link is followed, outside the folder it had to stay in.
enum class FileReadStatus { ok, cannotOpen, cannotRead, notRegular, tooLarge, outsideFolder };

struct FileContents {
    FileReadStatus status = FileReadStatus::cannotOpen;
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;  // the whole file's, as it was when opened
};

// The largest database file: its resources begin at 32-bit offsets, and a
// resource read from a file of its own ends up inside one.
inline constexpr std::uint64_t kMaxDatabaseFileSize = 0xFFFFFFFF;

// The one reader behind the three below, in each platform's file. folder:
// where the file must lie, or null; whole: the file to its end within
// maxBytes, or else only its first maxBytes bytes.
FileContents readRegularFile(const std::string& path, const std::string* folder,
                             std::uint64_t maxBytes, bool whole);

// Paths are UTF-8. Reads a regular file to its end, without text translation,
// when it holds at most maxBytes: a larger one is refused from its size before
// anything is read, and one that grows while being read once more than
// maxBytes have come. Nothing else is read: the file is opened without
// waiting (a FIFO with no writer would hold the open for ever) and refused
// once opened when it is not a regular file. A folder cannot be opened as a
// file (cannotOpen, on every system).
inline FileContents readWholeFile(const std::string& path, std::uint64_t maxBytes) {
    return readRegularFile(path, nullptr, maxBytes, true);
}

// The same for a file that must lie inside the folder: the file actually
// opened, through every symbolic link, is compared with the folder's own
// real path (outsideFolder when it is elsewhere).
inline FileContents readWholeFileInside(const std::string& folder, const std::string& path,
                                        std::uint64_t maxBytes) {
    return readRegularFile(path, &folder, maxBytes, true);
}

// What a header tells before the whole file is read: the first count bytes
// (all, when there are fewer) and the size of a file that must lie inside the
// folder, with the same checks as readWholeFileInside but never tooLarge.
inline FileContents readFileStart(const std::string& folder, const std::string& path,
                                  std::size_t count) {
    return readRegularFile(path, &folder, count, false);
}

// inUse: another program holds the file open without letting it be replaced
// (Windows only; nothing was changed).
enum class FileWriteStatus { ok, cannotOpen, cannotWrite, inUse };

struct FileWriteResult {
    FileWriteStatus status = FileWriteStatus::ok;
    // Why the step that failed failed, in the system's own words (strerror,
    // FormatMessageW) as UTF-8 without a line end; empty on success.
    std::string reason;
};

// What replaceFile does with whatever already has the name.
enum class ExistingName {
    // A path the user gave: a symbolic link is followed and stays a link, and
    // anything else that exists (a device, a FIFO) is opened and written
    // directly, since renaming over it would replace the node itself.
    follow,
    // A name the program chose itself inside a folder: whatever has it (a
    // link, a FIFO, a device) is replaced by a new regular file and never
    // followed or written into, as tar and unzip do. The folder part of the
    // path is followed as usual.
    replace,
};

// Stores the bytes as the whole content of the file at the path. A regular
// file (or a missing one) is written to a temporary file beside it and renamed
// over it only when complete, so a failure leaves the old file as it was; an
// existing file keeps its permission bits (and, where the process may set
// them, its owner and group), a new one gets newFileMode (0777 for databases,
// as they have always been made; 0666 suits plain documents) less the umask.
// An existing file that the process may not write to is refused (cannotOpen)
// before anything is written, as opening it for writing would be refused.
// When the process is ended by a signal (POSIX: SIGINT, SIGTERM, SIGHUP) or
// its console is interrupted or closed (Windows) while the temporary file
// exists, the temporary file is removed first. One call at a time: the
// programs are single-threaded. On Windows an existing file is replaced so
// that it keeps its attributes, security, streams and creation time, and
// paths of any length are accepted. The temporary file's name fits wherever
// the target's does.
FileWriteResult replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            unsigned newFileMode = 0777,
                            ExistingName existing = ExistingName::follow);

}  // namespace prc
