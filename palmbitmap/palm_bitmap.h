// Palm OS bitmaps (versions 0 to 3, every depth and compression the handheld
// knows) turned into RGBA pixels. A resource holds a family: members of
// different depths or densities chained by their offsets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace palmbitmap {

enum class Compression : std::uint8_t { none, scanLine, rle, packBits };

// The most RGBA bytes one member may decode to; a header asking for more is
// refused before anything is allocated.
inline constexpr std::size_t kMaxImageBytes = std::size_t{64} << 20;

inline constexpr int kLowDensity = 72;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Four bytes per pixel (red, green, blue, alpha), rows top to bottom.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

// One member of a family: what its header says (as far as the bytes held
// it), its pixels, and what was wrong with it.
struct BitmapMember {
    std::size_t offset = 0;      // where the member begins in the resource
    std::size_t storedSize = 0;  // header, colour table and pixel data
    int version = 0;
    int width = 0;
    int height = 0;
    int rowBytes = 0;
    int depth = 0;
    int density = kLowDensity;
    std::uint16_t flags = 0;
    Compression compression = Compression::none;
    int colorTableEntries = 0;    // 0: the system's default palette (or direct colour)
    std::vector<Rgb> colorTable;  // the member's own, when it has one
    bool directColor = false;
    bool transparent = false;
    std::uint8_t transparentIndex = 0;  // indexed depths
    Rgb transparentColor;               // direct colour
    Image image;                        // empty when error is set
    std::string error;
};

struct BitmapFamily {
    std::vector<BitmapMember> members;  // in chain order
    std::string error;  // the chain itself is broken; the members before the break stay
    // A member's pixels would have passed the image budget: it carries the
    // error, and the members after it were not decoded.
    bool budgetSpent = false;
};

// Decodes every member of the family in a bitmap resource. Never reads
// outside the bytes; every field that does not fit them is an error, and so is
// a member that begins before the one before it ends. imageBudget caps the
// RGBA bytes of all members together.
BitmapFamily decodePalmBitmap(std::span<const std::uint8_t> resource,
                              std::size_t imageBudget = SIZE_MAX);

// The RGBA bytes of the members that decoded.
std::size_t decodedImageBytes(const BitmapFamily& family);

// The bytes a decoded member takes in its resource (header, colour table and
// pixel data), as they are to be copied into another family.
inline std::span<const std::uint8_t> memberBytes(std::span<const std::uint8_t> resource,
                                                 const BitmapMember& member) {
    return resource.subspan(member.offset, member.storedSize);
}

// True when the family and all its members decoded.
bool isIntact(const BitmapFamily& family);

}  // namespace palmbitmap
