// A PNG file read into an image, with the reason when it cannot be.
#pragma once

#include <optional>
#include <string>

#include "palm_bitmap.h"

namespace lumen {

struct ImageLoad {
    std::optional<palmbitmap::Image> image;
    std::string error;
};

// A PNG file of any name (of at most png::kMaxPngFileSize bytes).
ImageLoad loadPngImage(const std::string& path);

// A PNG file that a manifest names: it must lie inside the folder.
ImageLoad loadPngImageInside(const std::string& folder, const std::string& path);

}  // namespace lumen
