// How Lumen turns an image into one member of a bitmap family: the member's
// format (its own, or what a manifest asks for), colour reduction, encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bitmap_writer.h"
#include "palm_bitmap.h"

namespace lumen {

struct MemberSettings {
    palmbitmap::MemberFormat format;  // its colour table and transparent value included
    // A colour table of the image's own colours, or of median cut's when they
    // are more than colorLimit (0: as many as the depth has).
    bool imageColors = false;
    std::size_t colorLimit = 0;
    bool dither = false;
    // Transparent pixels get the value nearest to this colour; without it,
    // the format's transparent value, or one that the image leaves free.
    std::optional<palmbitmap::Rgb> transparentColor;
};

// The settings that re-encode a decoded member as it was: depth, version,
// density, compression, colour table and transparent value.
MemberSettings settingsOf(const palmbitmap::BitmapMember& member);

palmbitmap::EncodedMember encodeMember(const palmbitmap::Image& image,
                                       const MemberSettings& settings);

// A short digest of an image's size and pixels (a clear pixel's colour left
// out), to see whether an exported image came back untouched.
std::string imageDigest(const palmbitmap::Image& image);

}  // namespace lumen
