// Files, folders and child processes for the tests.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const Bytes& bytes);

// The names in a folder, sorted.
std::vector<std::string> folderContents(const std::filesystem::path& folder);

// A fresh folder under the system's temporary folder, removed with its content.
struct TempFolder {
    TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    std::filesystem::path operator/(const std::string& name) const { return path / name; }
    std::filesystem::path path;
};

struct RunResult {
    int exitStatus = -1;   // the low 8 bits that the process ended with; -1 if it did not exit
    int endingSignal = 0;  // the signal that ended the process, if one did
    std::string out;
    std::string err;
};

// Runs a program with the arguments, feeding it the given standard input
// (standard input is the null device when it is empty), with "NAME=value"
// settings added to its environment. The program starts with the default
// action for SIGINT, SIGTERM and SIGHUP, whatever the test inherited.
// whileRunning, when given, is called with the program's process id before
// the program is waited for.
RunResult runProgram(const std::vector<std::string>& arguments, const std::string& input = "",
                     const std::vector<std::string>& environment = {},
                     const std::function<void(pid_t)>& whileRunning = {});

// The arguments that run the program as the unprivileged user 65534 when the
// test runs as root (permissions mean nothing to root), else as they are.
std::vector<std::string> asUnprivilegedUser(const std::vector<std::string>& arguments);

// Hands a folder and everything in it to the user asUnprivilegedUser runs as;
// false when any of it could not be given.
bool giveToUnprivilegedUser(const std::filesystem::path& folder);

// AddressSanitizer reserves terabytes of address space for its shadow: a
// sanitized build cannot run within a limit on it.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSpaceCanBeLimited = false;
#else
inline constexpr bool kAddressSpaceCanBeLimited = true;
#endif

// The arguments that run the program with a redirection of the shell's
// (">/dev/full", "2>/dev/full") applied to it, where the test's own capture
// would otherwise take the stream; an empty redirection leaves them as they
// are.
std::vector<std::string> withRedirection(const std::string& redirection,
                                         const std::vector<std::string>& arguments);

// The arguments that run the program within that many bytes of address space
// (prlimit --as), where memory runs out as it does on a machine without more.
std::vector<std::string> withinAddressSpace(std::size_t bytes,
                                            const std::vector<std::string>& arguments);

}  // namespace testsupport
