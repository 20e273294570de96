// How the colours of an RGBA image become what a bitmap member stores: an
// index into its palette per pixel, or a 5-6-5 colour.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "palm_bitmap.h"

namespace palmbitmap {

// A pixel whose alpha is below this is transparent; from it up, opaque.
inline constexpr std::uint8_t kTransparentBelowAlpha = 128;

// The colours an indexed member without a colour table is drawn in: greys
// for 1, 2 and 4 bits, the system palette for 8.
std::vector<Rgb> defaultPalette(int depth);

struct ReducedImage {
    std::vector<std::uint16_t> values;  // one per pixel, rows top to bottom
    // The value transparent pixels were given; set when the image has any,
    // or when one was asked for.
    std::optional<std::uint16_t> transparentValue;
    std::string error;  // set when there are no values
};

struct ReductionChoice {
    std::span<const Rgb> palette;  // empty: 5-6-5 direct colour
    bool dither = false;           // Floyd-Steinberg; otherwise the nearest colour
    // The value that stands for transparent pixels. Without it, one that no
    // opaque pixel takes is found when the image has transparent pixels:
    // magenta's, or else the lowest free one.
    std::optional<std::uint16_t> transparentValue;
};

// Colours found in the palette (or exactly 5-6-5) come through exactly unless
// dithering moves them. Into a palette of greys alone, colours go by their
// luminance (Rec. 601, as netpbm's ppmtopgm weighs them), dithered or not. Ties go to the highest
// index, so that black is the system palette's 255 rather than one of the unused entries before it.
ReducedImage reduceColors(const Image& image, const ReductionChoice& choice);

// The palette of an image's own opaque colours in the order they first
// appear, with room for a transparent entry when the image needs one; empty
// when they are more than `limit`.
std::optional<std::vector<Rgb>> imageColors(const Image& image, std::size_t limit);

struct ImagePalette {
    std::vector<Rgb> colors;  // empty when `limit` leaves no room for an opaque colour
    // The last entry, kept for the transparent pixels when the image has any.
    std::optional<std::uint16_t> transparentIndex;
};

// A colour table of at most `limit` entries for an image: its own colours as
// imageColors gives them when they fit, else median cut's (median_cut.h)
// with the transparent entry after them.
ImagePalette imagePalette(const Image& image, std::size_t limit);

}  // namespace palmbitmap
