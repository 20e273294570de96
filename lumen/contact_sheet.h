// index.html of an exported skin: every image at its own size (pixelated
// when enlarged), on a dark and a light ground, with what it is.
#pragma once

#include <string>
#include <vector>

namespace lumen {

struct SheetEntry {
    std::string resource;   // "abmp 31000"
    std::string imageFile;  // beside index.html; empty when the bitmap is damaged
    int width = 0;
    int height = 0;
    std::string details;  // depth, density, family member
    std::string stored;   // how the skin stores it
    std::string damage;
};

// title names the skin's file, summary the database and what it holds.
std::string contactSheetHtml(const std::string& title, const std::string& summary,
                             const std::vector<SheetEntry>& entries);

}  // namespace lumen
