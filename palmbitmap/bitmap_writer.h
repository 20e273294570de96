// Palm bitmaps written from reduced pixels: one member at a time (versions 1
// to 3, every depth, colour tables, transparency, each compression), and
// members chained into a family.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "palm_bitmap.h"

namespace palmbitmap {

struct MemberFormat {
    int version = 2;
    int depth = 8;
    int density = kLowDensity;
    // Nothing: the smallest form that the version allows.
    std::optional<Compression> compression;
    std::vector<Rgb> colorTable;  // stored with the member when not empty
    // An index, or a 5-6-5 colour at 16 bits; nothing when nothing is clear.
    std::optional<std::uint16_t> transparentValue;
};

// The densities a version-3 member may have.
bool isKnownDensity(int density);

// The setting of a format that a problem is about, so that a reader of
// settings can point at it without reading the words.
enum class FormatSetting { version, depth, density, compression, transparency, colorTable };

struct FormatProblem {
    FormatSetting setting = FormatSetting::version;
    std::string what;  // empty when the handheld can draw the format
    explicit operator bool() const { return !what.empty(); }
};

// What is wrong with a format before any pixel is looked at.
FormatProblem formatProblem(const MemberFormat& format);

struct EncodedMember {
    std::vector<std::uint8_t> bytes;  // its next-member field 0
    std::string error;                // set when there are no bytes
};

// One member of width × height pixels, each an index (or a 5-6-5 colour at
// 16 bits) as reduceColors makes them.
EncodedMember encodeBitmapMember(const MemberFormat& format, int width, int height,
                                 std::span<const std::uint16_t> values);

// The most bytes encodeBitmapMember writes for a member of width × height
// pixels at this version and depth, with any colour table and transparent
// value: in the given compression, or in the largest one the version allows
// when it is not known yet. Zero when no such member can be written.
std::size_t largestMemberSize(int version, int depth, int width, int height,
                              std::optional<Compression> compression);

// The most bytes chainBitmapFamily adds around the members: padding each to
// four bytes, and the marker before the high-density ones.
std::size_t familyOverheadBound(std::size_t memberCount);

struct EncodedFamily {
    std::vector<std::uint8_t> bytes;
    std::string error;
};

// The members' bytes (each as encodeBitmapMember or the decoder's offset and
// storedSize give them) in order, each padded to a multiple of four and
// pointing to the next; the high-density members (version 3, density other
// than 72) behind the marker that tells older systems to stop.
EncodedFamily chainBitmapFamily(std::span<const std::vector<std::uint8_t>> members);

}  // namespace palmbitmap
