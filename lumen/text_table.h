// Columns that line up for a reader: every cell padded to its column's widest
// entry, numbers on the right.
#pragma once

#include <string>
#include <vector>

namespace lumen {

struct TextTable {
    std::vector<std::string> headings;
    std::vector<bool> rightAligned;  // per column
    std::vector<std::vector<std::string>> rows;
};

// The table as lines, each ending in a newline; trailing blanks are cut, and
// columns whose every row is empty are left out.
std::string formatTable(const TextTable& table);

}  // namespace lumen
