// The names of the files that export chooses in its folder, each given once.
#pragma once

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace lumen {

// A damaged database may hold one id twice (or 65535 times), a family one
// depth twice. Each base remembers the suffix it got to, so that the names of
// n resources take linear time; a name taken in any other way is still never
// given twice.
struct FileNames {
    std::unordered_set<std::string> used;
    std::unordered_map<std::string, int> nextSuffix;

    // base + extension, or base-2 + extension, base-3 ... when that is taken.
    std::string unique(const std::string& base, const std::string& extension);
};

}  // namespace lumen
