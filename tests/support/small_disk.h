// A small memory file system that a test mounts for itself (root only), for a
// disk that really fills up or refuses writes.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace testsupport {

class SmallDisk {
  public:
    // Mounts a disk of that many KiB at the path (made if missing); see mounted().
    explicit SmallDisk(const std::filesystem::path& where, std::size_t kibibytes = 256);
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk();

    bool mounted() const { return mounted_; }
    std::string whyNot() const;

    void fill() const;      // takes all the space that is left
    void makeRoom() const;  // gives it back
    bool makeReadOnly() const;

  private:
    std::filesystem::path path_;
    std::string options_;
    bool mounted_ = false;
    int error_ = 0;
};

}  // namespace testsupport

// Skips the test where mounting takes privileges it lacks; as root a mount
// that fails is a failure.
#define REQUIRE_SMALL_DISK(disk)                                             \
    do {                                                                     \
        if (!(disk).mounted()) {                                             \
            if (::geteuid() == 0) {                                          \
                FAIL() << "cannot mount a small tmpfs: " << (disk).whyNot(); \
            }                                                                \
            GTEST_SKIP() << "mounting a small tmpfs takes root";             \
        }                                                                    \
    } while (false)
