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

ImageLoad loadPngImage(const std::string& path);

}  // namespace lumen
