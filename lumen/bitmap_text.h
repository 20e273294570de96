// How the commands and the contact sheet name a bitmap's properties.
#pragma once

#include <string>

#include "palm_bitmap.h"
#include "skin_view.h"

namespace lumen {

// "scan line", "RLE", "PackBits": the list's column, not the manifest's keyword.
std::string compressionLabel(palmbitmap::Compression compression);
std::string colorsText(const palmbitmap::BitmapMember& member);
std::string transparencyText(const palmbitmap::BitmapMember& member);
std::string storedText(const ResourceView& view);    // "plain" or "cBMP of N bytes"
std::string resourceName(const ResourceView& view);  // "abmp 31000"

}  // namespace lumen
