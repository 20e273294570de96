#include "skin_builder.h"

#include <algorithm>
#include <cmath>

namespace skinbuilder {
namespace {

void put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void put32(Bytes& out, std::uint32_t value) {
    put16(out, value >> 16);
    put16(out, value & 0xFFFF);
}

void putCode(Bytes& out, const std::string& code) {
    for (std::size_t i = 0; i < 4; ++i) {
        out.push_back(i < code.size() ? static_cast<std::uint8_t>(code[i]) : ' ');
    }
}

constexpr std::uint16_t kDirectColorFlag = 0x0400;

Bytes bitmapHeader(int width, int height, int rowBytes, std::uint16_t flags, int pixelSize) {
    Bytes out;
    put16(out, static_cast<std::uint32_t>(width));
    put16(out, static_cast<std::uint32_t>(height));
    put16(out, static_cast<std::uint32_t>(rowBytes));
    put16(out, flags);
    out.push_back(static_cast<std::uint8_t>(pixelSize));
    out.push_back(2);  // version
    put16(out, 0);     // nextDepthOffset: a single depth
    out.push_back(0);  // transparentIndex
    out.push_back(0);  // compressionType: none
    put16(out, 0);     // reserved
    return out;
}

}  // namespace

std::array<std::uint8_t, 32> databaseName(const std::string& text) {
    std::array<std::uint8_t, 32> name{};
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), name.size()), name.begin());
    return name;
}

Bytes buildDatabase(const DatabaseLayout& layout) {
    Bytes out(layout.name.begin(), layout.name.end());
    put16(out, layout.attributes);
    put16(out, layout.version);
    put32(out, layout.creationDate);
    put32(out, layout.modificationDate);
    put32(out, layout.lastBackupDate);
    put32(out, layout.modificationNumber);
    put32(out, layout.appInfoID);
    put32(out, layout.sortInfoID);
    putCode(out, layout.type);
    putCode(out, layout.creator);
    put32(out, layout.uniqueIDSeed);
    put32(out, layout.nextRecordListID);
    put16(out, static_cast<std::uint32_t>(layout.resources.size()));

    std::size_t offset = directoryEntryAt(layout.resources.size()) + layout.gapBytes;
    for (const Resource& resource : layout.resources) {
        putCode(out, resource.type);
        put16(out, resource.id);
        put32(out, static_cast<std::uint32_t>(offset));
        offset += resource.data.size();
    }
    out.insert(out.end(), layout.gapBytes, 0);
    for (const Resource& resource : layout.resources) {
        out.insert(out.end(), resource.data.begin(), resource.data.end());
    }
    return out;
}

Bytes directColorBitmap(int width, int height, const std::function<Rgb(int x, int y)>& pixel) {
    Bytes out = bitmapHeader(width, height, width * 2, kDirectColorFlag, 16);
    out.insert(out.end(), {5, 6, 5, 0});  // red, green and blue bits, reserved
    out.insert(out.end(), {0, 0, 0, 0});  // transparent colour (unused)
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            put16(out, ((c.red >> 3) << 11) | ((c.green >> 2) << 5) | (c.blue >> 3));
        }
    }
    return out;
}

Bytes indexedBitmap(int width, int height, const std::function<std::uint8_t(int x, int y)>& pixel) {
    const int rowBytes = (width + 1) & ~1;  // rows are padded to whole 16-bit words
    Bytes out = bitmapHeader(width, height, rowBytes, 0, 8);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < rowBytes; ++x) {
            out.push_back(x < width ? pixel(x, y) : 0);
        }
    }
    return out;
}

Bytes highDensityBitmap(int width, int height, int density,
                        const std::function<Rgb(int x, int y)>& pixel) {
    Bytes out;
    put16(out, static_cast<std::uint32_t>(width));
    put16(out, static_cast<std::uint32_t>(height));
    put16(out, static_cast<std::uint32_t>(width * 2));
    put16(out, kDirectColorFlag);
    out.insert(out.end(), {16, 3, 24, 1, 0, 0xFF});  // depth, version, header size, 5-6-5, -, none
    put16(out, static_cast<std::uint32_t>(density));
    put32(out, 0);  // transparent value (unused)
    put32(out, 0);  // next bitmap, in bytes
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb c = pixel(x, y);
            put16(out, ((c.red >> 3) << 11) | ((c.green >> 2) << 5) | (c.blue >> 3));
        }
    }
    return out;
}

Bytes bitmapFamily(std::vector<Bytes> members) {
    Bytes out;
    bool marked = false;
    for (std::size_t k = 0; k < members.size(); ++k) {
        Bytes& member = members[k];
        while (member.size() % 4 != 0) {
            member.push_back(0);
        }
        const bool last = k + 1 == members.size();
        const bool v3 = member[9] == 3;
        if (v3 && (member[14] << 8 | member[15]) != 72 && !marked) {
            // Version 1, depth 0xFF, pointing 16 bytes (4 words) on.
            out.insert(out.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 4, 0, 0, 0, 0});
            marked = true;
        }
        if (v3) {
            const std::size_t next = last ? 0 : member.size();
            std::copy_n(
                Bytes{static_cast<std::uint8_t>(next >> 24), static_cast<std::uint8_t>(next >> 16),
                      static_cast<std::uint8_t>(next >> 8), static_cast<std::uint8_t>(next)}
                    .begin(),
                4, member.begin() + 20);
        } else {
            const std::size_t words = last ? 0 : member.size() / 4;
            member[10] = static_cast<std::uint8_t>(words >> 8);
            member[11] = static_cast<std::uint8_t>(words);
        }
        out.insert(out.end(), member.begin(), member.end());
    }
    return out;
}

namespace {

std::uint8_t mix(int from, int to, double t) {
    return static_cast<std::uint8_t>(std::lround(from + (to - from) * std::clamp(t, 0.0, 1.0)));
}

// A status-bar background: a sky gradient, a flat status panel with a thin
// rule, a dithered lower area and a row of flat button wells.
Rgb background(int x, int y) {
    if (y < 24) {
        return {mix(20, 60, x / 319.0), mix(40, 90, x / 319.0), mix(90, 160, x / 319.0)};
    }
    if (y == 24 || y == 25) {
        return {230, 230, 230};
    }
    if (y < 300) {
        // Scanned artwork carries grain: a little deterministic noise on the gradient.
        const std::uint32_t hash = (static_cast<std::uint32_t>(x) * 73856093u) ^
                                   (static_cast<std::uint32_t>(y) * 19349663u);
        const double t = (y - 26) / 274.0 + ((hash >> 7) % 9) / 600.0;
        return {mix(70, 200, t), mix(110, 220, t), mix(200, 250, t)};
    }
    if (y >= 400 && y < 440 && (x % 80) >= 8 && (x % 80) < 72) {
        return {48, 52, 60};
    }
    const bool checker = ((x / 4) + (y / 4)) % 2 == 0;
    return checker ? Rgb{180, 186, 196} : Rgb{172, 178, 188};
}

Rgb button(int x, int y, int width, int height, Rgb face) {
    if (x == 0 || y == 0 || x == width - 1 || y == height - 1) {
        return {16, 16, 24};
    }
    const double t = static_cast<double>(y) / height;
    return {mix(255, face.red, t), mix(255, face.green, t), mix(255, face.blue, t)};
}

std::uint8_t icon(int x, int y, int size, int shape) {
    const int cx = x - size / 2;
    const int cy = y - size / 2;
    const int r = size / 2 - 2;
    switch (shape) {
        case 0:  // disc
            return cx * cx + cy * cy <= r * r ? 0x6B : 0x00;
        case 1:  // frame
            return (std::abs(cx) == r || std::abs(cy) == r) ? 0xE6 : 0x00;
        case 2:  // cross
            return (std::abs(cx) <= 1 || std::abs(cy) <= 1) ? 0x23 : 0x00;
        default:  // diagonal stripes
            return ((x + y) / 3) % 2 == 0 ? 0x5F : 0xD2;
    }
}

Bytes text(const std::string& s) {
    Bytes out(s.begin(), s.end());
    out.push_back(0);
    return out;
}

}  // namespace

Bytes sampleSkin() {
    DatabaseLayout layout;
    layout.name = databaseName("Sample skin");
    layout.resources.push_back({"tSTR", 1000, text("Sample status-bar skin")});
    layout.resources.push_back({"abmp", 31000, directColorBitmap(320, 480, background)});

    const Rgb faces[] = {{90, 140, 220}, {220, 90, 90}, {90, 200, 120}, {240, 200, 80}};
    for (int i = 0; i < 4; ++i) {
        layout.resources.push_back({"abmp", static_cast<std::uint16_t>(31020 + i),
                                    directColorBitmap(64, 32, [&](int x, int y) {
                                        return button(x, y, 64, 32, faces[i]);
                                    })});
    }
    // A battery gauge that the handheld draws uncompressed.
    layout.resources.push_back({"abmp", 31003, directColorBitmap(40, 16, [](int x, int y) {
                                    const bool rim = x < 2 || y < 2 || x > 37 || y > 13;
                                    return rim ? Rgb{0, 0, 0} : Rgb{40, 200, 60};
                                })});
    layout.resources.push_back({"PlRC", 0, text("layout=statusbar;slots=8")});
    for (int shape = 0; shape < 4; ++shape) {
        const int size = shape < 2 ? 16 : 32;
        layout.resources.push_back(
            {"abmp", static_cast<std::uint16_t>(31010 + shape),
             indexedBitmap(size, size, [&](int x, int y) { return icon(x, y, size, shape); })});
    }
    layout.resources.push_back({"ovly", 1000, Bytes(64, 0x11)});
    return buildDatabase(layout);
}

// A cBMP container of `total` bytes: the prefix, then its last byte repeated
// by one match; marker 0xFF, escaped where the prefix holds it.
Bytes repeatingContainer(const Bytes& prefix, std::uint32_t total) {
    constexpr std::uint8_t kMarker = 0xFF;
    Bytes stream = {kMarker ^ 0x9C, prefix.front()};
    for (std::size_t k = 1; k < prefix.size(); ++k) {
        stream.push_back(prefix[k]);
        if (prefix[k] == kMarker) {
            stream.push_back(0);
        }
    }
    stream.push_back(kMarker);
    for (std::uint32_t value : {static_cast<std::uint32_t>(total - prefix.size()), 1u}) {
        for (; value >= 0x80; value >>= 7) {
            stream.push_back(static_cast<std::uint8_t>(value | 0x80));
        }
        stream.push_back(static_cast<std::uint8_t>(value));
    }
    Bytes container = {'c', 'B', 'M', 'P'};
    for (const std::uint32_t value : {total, static_cast<std::uint32_t>(stream.size())}) {
        for (int k = 0; k < 4; ++k) {
            container.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
        }
    }
    container.insert(container.end(), stream.begin(), stream.end());
    return container;
}

}  // namespace skinbuilder
