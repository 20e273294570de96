#include "file_names.h"

namespace lumen {

std::string FileNames::unique(const std::string& base, const std::string& extension) {
    const std::string key = base + extension;
    int& suffix = nextSuffix.try_emplace(key, 1).first->second;
    for (;; ++suffix) {
        std::string name = base;
        if (suffix > 1) {
            // Appended piece by piece: GCC 12 warns falsely about "-" + std::string here.
            name.append("-").append(std::to_string(suffix));
        }
        name += extension;
        if (used.insert(name).second) {
            ++suffix;
            return name;
        }
    }
}

}  // namespace lumen
