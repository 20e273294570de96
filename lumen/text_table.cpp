#include "text_table.h"

#include <algorithm>

namespace lumen {
namespace {

// Cells are ASCII or UTF-8; a column is as wide as its widest cell in characters.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

}  // namespace

std::string formatTable(const TextTable& table) {
    std::vector<std::size_t> widths(table.headings.size(), 0);
    const auto measure = [&](const std::vector<std::string>& row) {
        for (std::size_t k = 0; k < row.size() && k < widths.size(); ++k) {
            widths[k] = std::max(widths[k], displayWidth(row[k]));
        }
    };
    for (const auto& row : table.rows) {
        measure(row);
    }
    // A column that no row fills (no bitmap of version 3, no damage) is left out.
    std::vector<bool> shown(widths.size());
    for (std::size_t k = 0; k < widths.size(); ++k) {
        shown[k] = widths[k] > 0;
    }
    measure(table.headings);
    std::string out;
    const auto emit = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t k = 0; k < widths.size(); ++k) {
            if (!shown[k]) {
                continue;
            }
            const std::string cell = k < row.size() ? row[k] : std::string();
            const std::string padding(widths[k] - displayWidth(cell), ' ');
            const bool right = k < table.rightAligned.size() && table.rightAligned[k];
            line += (line.empty() ? "" : "  ") + (right ? padding + cell : cell + padding);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out += line + '\n';
    };
    emit(table.headings);
    for (const auto& row : table.rows) {
        emit(row);
    }
    return out;
}

}  // namespace lumen
