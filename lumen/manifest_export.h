// What Lumen export adds to the images: skin.toml, and the bytes of every
// resource (a bitmap's as they were, so that an untouched one builds back
// byte for byte).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "skin_view.h"

namespace lumen {

// A member's picture as export wrote it.
struct ExportedImage {
    std::size_t resource = 0;  // index in the skin's directory
    std::size_t member = 0;
    std::string name;
};

struct ExportFile {
    std::string name;
    std::span<const std::uint8_t> bytes;  // into the skin
};

struct ManifestExport {
    std::string text;  // skin.toml
    std::vector<ExportFile> files;
};

// A bitmap becomes members with their images only when every member was
// written; otherwise it goes back as its bytes alone.
ManifestExport manifestExport(const SkinView& skin, std::span<const ExportedImage> images);

}  // namespace lumen
