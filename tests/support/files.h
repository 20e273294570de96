// Files, folders and child processes for the tests.
#pragma once

#include <cstdint>
#include <filesystem>
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
    int exitStatus = -1;  // the low 8 bits that the process ended with; -1 if it did not exit
    std::string out;
    std::string err;
};

// Runs a program with the arguments, feeding it the given standard input
// (standard input is the null device when it is empty), with "NAME=value"
// settings added to its environment.
RunResult runProgram(const std::vector<std::string>& arguments, const std::string& input = "",
                     const std::vector<std::string>& environment = {});

}  // namespace testsupport
