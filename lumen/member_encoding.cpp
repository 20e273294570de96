#include "member_encoding.h"

#include <algorithm>
#include <cstdio>
#include <span>
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
    std::optional<std::uint16_t> transparentValue = format.transparentValue;
    // The colours opaque pixels may take: all but a transparent entry of the
    // image's own palette, which only its transparent pixels get.
    std::size_t opaqueColors = format.colorTable.size();
    if (settings.imageColors) {
        const std::size_t most = format.depth == 16 ? 0 : std::size_t{1} << format.depth;
        const std::size_t limit = settings.colorLimit == 0 ? most : settings.colorLimit;
        palmbitmap::ImagePalette own = palmbitmap::imagePalette(image, std::min(limit, most));
        if (own.colors.empty() || limit > most) {
            failed.error = format.depth == 16 ? "a colour table at depth 16"
                                              : "a colour table of " + std::to_string(limit) +
                                                    " at depth " + std::to_string(format.depth);
            return failed;
        }
        format.colorTable = std::move(own.colors);
        opaqueColors = format.colorTable.size();
        if (own.transparentIndex && !settings.transparentColor) {
            transparentValue = own.transparentIndex;
            opaqueColors = *own.transparentIndex;
        }
    }
    const std::vector<palmbitmap::Rgb> palette = format.depth == 16 ? std::vector<palmbitmap::Rgb>{}
                                                 : !format.colorTable.empty()
                                                     ? format.colorTable
                                                     : palmbitmap::defaultPalette(format.depth);
    const std::span<const palmbitmap::Rgb> opaque =
        format.colorTable.empty() ? std::span<const palmbitmap::Rgb>(palette)
                                  : std::span<const palmbitmap::Rgb>(palette).first(opaqueColors);
    if (settings.transparentColor) {
        const palmbitmap::Rgb c = *settings.transparentColor;
        const palmbitmap::Image key{1, 1, {c.red, c.green, c.blue, 255}};
        transparentValue = palmbitmap::reduceColors(key, {palette, false, {}}).values.at(0);
    }
    const palmbitmap::ReducedImage reduced =
        palmbitmap::reduceColors(image, {opaque, settings.dither, transparentValue});
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
