// The page's files live in emscripten's in-memory file system: the page puts
// each skin there under its own name and takes the output back. There are no
// links, devices, other programs or signals, so a file is read and written
// plainly; the limits and statuses are the same as on the other systems.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "file_access.h"

namespace prc {
namespace {

FileContents failedRead(FileReadStatus status) {
    FileContents contents;
    contents.status = status;
    return contents;
}

bool isInside(const std::string& path, const std::string& folder) {
    const std::string prefix = folder.ends_with('/') ? folder : folder + '/';
    return path.size() > prefix.size() && path.starts_with(prefix) &&
           path.find("/../") == std::string::npos;
}

}  // namespace

FileContents readRegularFile(const std::string& path, const std::string* folder,
                             std::uint64_t maxBytes, bool whole) {
    if (folder != nullptr && !isInside(path, *folder)) {
        return failedRead(FileReadStatus::outsideFolder);
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return failedRead(FileReadStatus::cannotOpen);
    }
    FileContents contents;
    // One byte past the limit tells a whole file that is too large.
    const std::uint64_t wantedAtMost = whole ? maxBytes + 1 : maxBytes;
    std::uint8_t chunk[65536];
    bool failed = false;
    while (contents.bytes.size() < wantedAtMost) {
        const std::uint64_t room = wantedAtMost - contents.bytes.size();
        const std::size_t wanted =
            room < sizeof chunk ? static_cast<std::size_t>(room) : sizeof chunk;
        const std::size_t got = std::fread(chunk, 1, wanted, file);
        contents.bytes.insert(contents.bytes.end(), chunk, chunk + got);
        if (got < wanted) {
            failed = std::ferror(file) != 0;
            break;
        }
    }
    // A folder opens but does not read.
    const bool folderOpened = failed && errno == EISDIR;
    std::fseek(file, 0, SEEK_END);
    const long end = std::ftell(file);
    std::fclose(file);
    if (folderOpened) {
        return failedRead(FileReadStatus::cannotOpen);
    }
    if (failed) {
        return failedRead(FileReadStatus::cannotRead);
    }
    if (contents.bytes.size() > maxBytes) {
        return failedRead(FileReadStatus::tooLarge);
    }
    contents.size = end < 0 ? contents.bytes.size() : static_cast<std::uint64_t>(end);
    contents.status = FileReadStatus::ok;
    return contents;
}

FileWriteResult replaceFile(const std::string& path, std::span<const std::uint8_t> bytes,
                            unsigned /*newFileMode*/, ExistingName /*existing*/) {
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return {FileWriteStatus::cannotOpen, std::strerror(path.empty() ? ENOENT : errno)};
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int error = errno;
    if (std::fclose(file) != 0 || !written) {
        return {FileWriteStatus::cannotWrite, std::strerror(written ? errno : error)};
    }
    return {};
}

}  // namespace prc
