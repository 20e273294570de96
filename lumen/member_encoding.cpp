#include "member_encoding.h"

#include <cstdio>
#include <vector>

#include "color_reduction.h"
#include "rgb565.h"

namespace lumen {

MemberSettings settingsOf(const palmbitmap::BitmapMember& member) {
    MemberSettings settings;
    palmbitmap::MemberFormat& format = settings.format;
    format.version = member.version;
    format.depth = member.depth;
    format.density = member.density;
    format.compression = member.compression;
    format.colorTable = member.colorTable;
    if (member.transparent) {
        format.transparentValue = member.directColor
                                      ? palmbitmap::nearest565(member.transparentColor)
                                      : member.transparentIndex;
    }
    return settings;
}

palmbitmap::EncodedMember encodeMember(const palmbitmap::Image& image,
                                       const MemberSettings& settings) {
    palmbitmap::MemberFormat format = settings.format;
    palmbitmap::EncodedMember failed;
    failed.error = palmbitmap::formatProblem(format).what;
    if (!failed.error.empty()) {
        return failed;
    }
    if (settings.imageColors) {
        const std::size_t limit = std::size_t{1} << format.depth;
        const auto colors = palmbitmap::imageColors(image, format.depth == 16 ? 0 : limit);
        if (!colors || format.depth == 16) {
            failed.error = "the image has more colours than " + std::to_string(limit) +
                           " (with one for transparency)";
            return failed;
        }
        format.colorTable = *colors;
    }
    const std::vector<palmbitmap::Rgb> palette = format.depth == 16 ? std::vector<palmbitmap::Rgb>{}
                                                 : !format.colorTable.empty()
                                                     ? format.colorTable
                                                     : palmbitmap::defaultPalette(format.depth);
    std::optional<std::uint16_t> transparentValue = format.transparentValue;
    if (settings.transparentColor) {
        const palmbitmap::Rgb c = *settings.transparentColor;
        const palmbitmap::Image key{1, 1, {c.red, c.green, c.blue, 255}};
        transparentValue = palmbitmap::reduceColors(key, {palette, false, {}}).values.at(0);
    }
    const palmbitmap::ReducedImage reduced =
        palmbitmap::reduceColors(image, {palette, settings.dither, transparentValue});
    if (!reduced.error.empty()) {
        failed.error = reduced.error;
        return failed;
    }
    format.transparentValue = reduced.transparentValue;
    return palmbitmap::encodeBitmapMember(format, image.width, image.height, reduced.values);
}

std::string imageDigest(const palmbitmap::Image& image) {
    // FNV-1a over the size and the pixels: it tells edits apart, nothing more.
    std::uint64_t hash = 0xcbf29ce484222325;
    const auto add = [&hash](std::uint8_t byte) {
        hash ^= byte;
        hash *= 0x100000001b3;
    };
    for (const int side : {image.width, image.height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            add(static_cast<std::uint8_t>(static_cast<unsigned>(side) >> shift));
        }
    }
    // Editors keep whatever colour they like under a clear pixel: only its
    // clearness counts.
    for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
        const bool clear = image.rgba[p + 3] < palmbitmap::kTransparentBelowAlpha;
        for (std::size_t k = 0; k < 4; ++k) {
            add(clear ? 0 : image.rgba[p + k]);
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace lumen
