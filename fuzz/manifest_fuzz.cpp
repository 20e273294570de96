// A manifest and a PNG file (the bytes after the first NUL) made into bitmap
// members, as Lumen build makes them: the reader never crashes; a manifest it
// accepts comes back the same from the text Lumen export would write of it;
// every member that encodes decodes whole, at the image's size, with the
// image's clear pixels clear; and the members chain into a family that
// decodes to as many.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "bitmap_writer.h"
#include "color_reduction.h"
#include "member_encoding.h"
#include "png_reader.h"
#include "require.h"
#include "skin_manifest.h"

namespace {

// Larger images only take time and memory; the limit itself is tested elsewhere.
constexpr int kLargestSide = 256;

bool sameMember(const lumen::ManifestMember& a, const lumen::ManifestMember& b) {
    const palmbitmap::MemberFormat& f = a.settings.format;
    const palmbitmap::MemberFormat& g = b.settings.format;
    return a.image == b.image && a.digest == b.digest && f.depth == g.depth &&
           f.version == g.version && f.density == g.density && f.compression == g.compression;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint8_t* split = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    const std::size_t textSize = split == nullptr ? size : static_cast<std::size_t>(split - data);
    const std::string text(reinterpret_cast<const char*>(data), textSize);
    const lumen::ManifestRead read = lumen::parseManifest(text, 0);
    if (!read.manifest) {
        FUZZ_REQUIRE(!read.error.empty() && read.errorLine >= 0);
        return 0;
    }
    const lumen::ManifestRead again = lumen::parseManifest(lumen::manifestText(*read.manifest), 0);
    FUZZ_REQUIRE(again.manifest.has_value());
    FUZZ_REQUIRE(again.manifest->header == read.manifest->header);
    FUZZ_REQUIRE(again.manifest->resources.size() == read.manifest->resources.size());
    for (std::size_t r = 0; r < read.manifest->resources.size(); ++r) {
        const auto& a = read.manifest->resources[r];
        const auto& b = again.manifest->resources[r];
        FUZZ_REQUIRE(a.type == b.type && a.id == b.id && a.file == b.file &&
                     a.original == b.original);
        FUZZ_REQUIRE(a.members.size() == b.members.size());
        for (std::size_t k = 0; k < a.members.size(); ++k) {
            FUZZ_REQUIRE(sameMember(a.members[k], b.members[k]));
        }
    }

    const std::span<const std::uint8_t> file =
        split == nullptr ? std::span<const std::uint8_t>{}
                         : std::span<const std::uint8_t>(split + 1, data + size);
    if (file.size() >= 24 && ((file[16] | file[17]) != 0 || (file[20] | file[21]) != 0 ||
                              ((file[18] << 8) | file[19]) > kLargestSide ||
                              ((file[22] << 8) | file[23]) > kLargestSide)) {
        return 0;
    }
    const png::DecodedPng png = png::decodePng(file);
    if (!png.error.empty()) {
        FUZZ_REQUIRE(png.rgba.empty());
        return 0;
    }
    const palmbitmap::Image image{static_cast<int>(png.width), static_cast<int>(png.height),
                                  png.rgba};
    for (const lumen::ManifestResource& resource : read.manifest->resources) {
        std::vector<std::vector<std::uint8_t>> members;
        for (const lumen::ManifestMember& member : resource.members) {
            palmbitmap::EncodedMember encoded = lumen::encodeMember(image, member.settings);
            FUZZ_REQUIRE(encoded.error.empty() != encoded.bytes.empty());
            if (!encoded.error.empty()) {
                continue;
            }
            const palmbitmap::BitmapFamily decoded = palmbitmap::decodePalmBitmap(encoded.bytes);
            FUZZ_REQUIRE(palmbitmap::isIntact(decoded) && decoded.members.size() == 1);
            const palmbitmap::BitmapMember& m = decoded.members[0];
            FUZZ_REQUIRE(m.width == image.width && m.height == image.height);
            FUZZ_REQUIRE(m.depth == member.settings.format.depth &&
                         m.density == member.settings.format.density);
            for (std::size_t p = 3; p < image.rgba.size(); p += 4) {
                FUZZ_REQUIRE(image.rgba[p] >= palmbitmap::kTransparentBelowAlpha ||
                             m.image.rgba[p] == 0);
            }
            members.push_back(std::move(encoded.bytes));
        }
        if (members.empty()) {
            continue;
        }
        const palmbitmap::EncodedFamily family = palmbitmap::chainBitmapFamily(members);
        if (family.error.empty()) {
            const palmbitmap::BitmapFamily decoded = palmbitmap::decodePalmBitmap(family.bytes);
            FUZZ_REQUIRE(palmbitmap::isIntact(decoded) && decoded.members.size() == members.size());
        }
    }
    return 0;
}
