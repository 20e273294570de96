#include "same_file.h"

#include <system_error>

namespace lumen {

std::filesystem::path utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

bool isSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(utf8Path(a), utf8Path(b), error) && !error;
}

}  // namespace lumen
