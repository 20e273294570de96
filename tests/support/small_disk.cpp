#include "small_disk.h"

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace testsupport {

SmallDisk::SmallDisk(const std::filesystem::path& where, std::size_t kibibytes)
    : path_(where), options_("size=" + std::to_string(kibibytes) + "k") {
    std::filesystem::create_directories(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, options_.c_str()) == 0;
    error_ = errno;
}

SmallDisk::~SmallDisk() {
    if (mounted_) {
        ::umount2(path_.c_str(), MNT_DETACH);
    }
}

std::string SmallDisk::whyNot() const {
    return std::strerror(error_);
}

void SmallDisk::fill() const {
    std::ofstream filler(path_ / "filler", std::ios::binary);
    const std::vector<char> block(4096, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) &&
           filler.flush()) {
    }
}

void SmallDisk::makeRoom() const {
    std::filesystem::remove(path_ / "filler");
}

bool SmallDisk::makeReadOnly() const {
    return ::mount("tmpfs", path_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, options_.c_str()) == 0;
}

}  // namespace testsupport
