#include "median_cut.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "color_reduction.h"

namespace palmbitmap {
namespace {

// One colour of the image and how many opaque pixels have it, in one word:
// the colour in the low 24 bits (red highest), the count above. A 4096x4096
// image of as many colours takes 8 bytes a pixel here, and nothing beside.
using Counted = std::uint64_t;

constexpr int channelOf(Counted c, std::size_t channel) {
    return static_cast<int>((c >> (16 - 8 * channel)) & 0xFF);
}

constexpr std::uint64_t pixelsOf(Counted c) {
    return c >> 24;
}

// A run of the colours that one palette entry stands for.
struct Box {
    std::size_t begin;
    std::size_t end;
    std::uint64_t pixels;
    int widestChannel;
    int width;  // of that channel: highest less lowest
};

Box boxOf(const std::vector<Counted>& colors, std::size_t begin, std::size_t end) {
    Box box{begin, end, 0, 0, 0};
    std::array<int, 3> low{255, 255, 255};
    std::array<int, 3> high{0, 0, 0};
    for (std::size_t k = begin; k < end; ++k) {
        box.pixels += pixelsOf(colors[k]);
        for (std::size_t c = 0; c < 3; ++c) {
            low[c] = std::min(low[c], channelOf(colors[k], c));
            high[c] = std::max(high[c], channelOf(colors[k], c));
        }
    }
    // Green first on a tie: the eye tells its shades apart best, then red.
    for (const int c : {1, 0, 2}) {
        if (high[c] - low[c] > box.width) {
            box.width = high[c] - low[c];
            box.widestChannel = c;
        }
    }
    return box;
}

}  // namespace

std::vector<Rgb> medianCutPalette(const Image& image, std::size_t count) {
    // The image's colours with their pixel counts: sorted, to count them.
    // Nothing below depends on the order of a box's colours.
    std::vector<Counted> colors;
    colors.reserve(image.rgba.size() / 4);
    for (std::size_t p = 0; p + 3 < image.rgba.size(); p += 4) {
        if (image.rgba[p + 3] >= kTransparentBelowAlpha) {
            colors.push_back((Counted{image.rgba[p]} << 16) | (Counted{image.rgba[p + 1]} << 8) |
                             image.rgba[p + 2]);
        }
    }
    std::sort(colors.begin(), colors.end());
    std::size_t distinct = 0;
    for (std::size_t k = 0; k < colors.size();) {
        std::size_t same = k;
        while (same < colors.size() && colors[same] == colors[k]) {
            ++same;
        }
        colors[distinct++] = colors[k] | (Counted{same - k} << 24);
        k = same;
    }
    colors.resize(distinct);
    std::vector<Box> boxes;
    if (!colors.empty() && count > 0) {
        boxes.push_back(boxOf(colors, 0, colors.size()));
    }
    while (boxes.size() < count) {
        // The box whose pixels lie widest apart, weighed by how many they are:
        // a large smooth area and a small bright detail both get entries.
        std::size_t chosen = boxes.size();
        std::uint64_t chosenScore = 0;
        for (std::size_t b = 0; b < boxes.size(); ++b) {
            const std::uint64_t score =
                boxes[b].pixels * static_cast<std::uint64_t>(boxes[b].width);
            if (boxes[b].end - boxes[b].begin > 1 && score > chosenScore) {
                chosen = b;
                chosenScore = score;
            }
        }
        if (chosen == boxes.size()) {
            break;  // every box holds one colour
        }
        const Box box = boxes[chosen];
        const auto first = colors.begin() + static_cast<std::ptrdiff_t>(box.begin);
        const auto last = colors.begin() + static_cast<std::ptrdiff_t>(box.end);
        const auto c = static_cast<std::size_t>(box.widestChannel);
        // Cut where half the box's pixels lie at or below a level of its
        // widest channel: the median pixel, not the median colour. A cut
        // between levels leaves the same colours on each side in whatever
        // order the partition puts them, and neither side empty.
        std::array<std::uint64_t, 256> levels{};
        for (std::size_t k = box.begin; k < box.end; ++k) {
            levels[static_cast<std::size_t>(channelOf(colors[k], c))] += pixelsOf(colors[k]);
        }
        std::size_t level = 0;
        while (levels[level] == 0) {
            ++level;
        }
        for (std::uint64_t below = levels[level]; 2 * below < box.pixels;) {
            below += levels[++level];
        }
        std::size_t highest = 255;
        while (levels[highest] == 0) {
            --highest;
        }
        level = std::min(level, highest - 1);
        const auto middle = std::partition(first, last, [c, level](Counted color) {
            return static_cast<std::size_t>(channelOf(color, c)) <= level;
        });
        const auto cut = static_cast<std::size_t>(middle - colors.begin());
        boxes[chosen] = boxOf(colors, box.begin, cut);
        boxes.push_back(boxOf(colors, cut, box.end));
    }
    // Each entry is the mean of its pixels, rounded to the nearest.
    std::vector<Rgb> palette;
    for (const Box& box : boxes) {
        std::array<std::uint64_t, 3> sums{};
        for (std::size_t k = box.begin; k < box.end; ++k) {
            for (std::size_t c = 0; c < 3; ++c) {
                sums[c] +=
                    static_cast<std::uint64_t>(channelOf(colors[k], c)) * pixelsOf(colors[k]);
            }
        }
        const auto mean = [&](std::size_t c) {
            return static_cast<std::uint8_t>((sums[c] + box.pixels / 2) / box.pixels);
        };
        palette.push_back({mean(0), mean(1), mean(2)});
    }
    return palette;
}

}  // namespace palmbitmap
