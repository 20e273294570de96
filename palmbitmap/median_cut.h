// A palette for an image of more colours than a member can hold: Heckbert's
// median cut, in whole numbers only, so that the same image gives the same
// palette, byte for byte, from every compiler.
#pragma once

#include <cstddef>
#include <vector>

#include "palm_bitmap.h"

namespace palmbitmap {

// At most `count` colours (fewer only when the image has fewer) for the
// image's opaque pixels; empty when it has none or count is 0.
std::vector<Rgb> medianCutPalette(const Image& image, std::size_t count);

}  // namespace palmbitmap
