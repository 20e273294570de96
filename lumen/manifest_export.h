// What Lumen export adds to the images: skin.toml, and the bytes of every
// resource (a bitmap's as they were, so that an untouched one builds back
// byte for byte).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "skin_manifest.h"
#include "skin_view.h"

namespace lumen {

// A bitmap whose every member export wrote as a picture, each with what
// re-encodes it as it was.
struct ExportedBitmap {
    std::size_t resource = 0;  // index in the skin's directory
    std::vector<ManifestMember> members;
};

struct ExportFile {
    std::string name;
    std::span<const std::uint8_t> bytes;  // into the skin
};

struct ManifestExport {
    std::string text;  // skin.toml
    std::vector<ExportFile> files;
};

// The manifest's member for a decoded member written as the picture `image`;
// taken before the member's pixels are freed.
ManifestMember exportedMember(const palmbitmap::BitmapMember& member, const std::string& image);

// The exported bitmaps become members with their images; every other
// resource (a damaged bitmap too) goes back as its bytes alone.
ManifestExport manifestExport(const SkinView& skin, std::span<const ExportedBitmap> bitmaps);

}  // namespace lumen
