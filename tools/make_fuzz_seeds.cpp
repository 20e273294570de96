// Writes the fuzz targets' seed inputs, small databases of every kind that the
// tools meet:  make_fuzz_seeds <fuzz/seeds folder>
// The compressor's and converter's seeds start with the byte by which those
// targets choose the output path and the file name; the encoder's with its
// maximum distance and search path. The bitmap decoder's are bare bitmaps and
// containers.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "skin_builder.h"

namespace {

using skinbuilder::Bytes;
using skinbuilder::DatabaseLayout;

bool writeSeed(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

Bytes prefixed(const Bytes& prefix, const Bytes& rest) {
    Bytes bytes(prefix.size() + rest.size());
    std::copy(rest.begin(), rest.end(), std::copy(prefix.begin(), prefix.end(), bytes.begin()));
    return bytes;
}

Bytes smallSkin() {
    DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("Seed skin");
    layout.resources.push_back({"PlRC", 0, Bytes{'s', 'l', 'o', 't', 's', '=', '4', 0}});
    layout.resources.push_back({"abmp", 1000, skinbuilder::indexedBitmap(12, 12, [](int x, int y) {
                                    return static_cast<std::uint8_t>(x < 6 ? 0x10 : 0x20 + y);
                                })});
    layout.resources.push_back(
        {"abmp", 31003, skinbuilder::directColorBitmap(4, 4, [](int x, int) {
             return skinbuilder::Rgb{static_cast<std::uint8_t>(x * 60), 0, 0};
         })});
    layout.resources.push_back({"tSTR", 1000, Bytes{'O', 'K', 0}});
    layout.resources.push_back({"ovly", 1000, Bytes{}});
    return skinbuilder::buildDatabase(layout);
}

Bytes emptyDatabase() {
    return skinbuilder::buildDatabase(DatabaseLayout{});
}

Bytes skinOfKind(const std::string& type, const std::string& creator) {
    DatabaseLayout layout;
    layout.type = type;
    layout.creator = creator;
    layout.attributes = 0x0021;
    layout.resources.push_back({"abmp", 25100, Bytes(8, 0x33)});
    layout.resources.push_back({"abmp", 25300, Bytes(8, 0x44)});
    layout.resources.push_back({"ovly", 1000, Bytes(4, 0x55)});
    layout.resources.push_back({"tSTR", 1000, Bytes{'h', 'i', 0}});
    return skinbuilder::buildDatabase(layout);
}

// Small bitmaps for the decoder: one per compression, and a family whose
// high-density member follows the density marker.
Bytes compressedBitmap(std::uint8_t compressionType, const Bytes& data) {
    Bytes bitmap = {0, 4, 0, 2, 0, 4, 0x80, 0, 8, 2, 0, 0, 0, compressionType, 0, 0};
    bitmap.push_back(0);
    bitmap.push_back(static_cast<std::uint8_t>(2 + data.size()));
    bitmap.insert(bitmap.end(), data.begin(), data.end());
    return bitmap;
}

Bytes bitmapFamily() {
    Bytes family = {0, 2, 0, 2, 0, 2, 0, 0, 8, 2, 0, 5, 0, 0, 0, 0, 0x10, 0x20, 0x30, 0x40};
    const Bytes marker = {0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 1, 0, 0, 0, 0, 0, 0};
    const Bytes dense = {0, 2,    0, 2, 0, 4, 0x20, 0, 16,   3, 24,   1,    0,    0xFF, 0,    144,
                         0, 0xFF, 0, 0, 0, 0, 0,    0, 0xF8, 0, 0x07, 0xE0, 0x00, 0x1F, 0xFF, 0xFF};
    family.insert(family.end(), marker.begin(), marker.end());
    family.insert(family.end(), dense.begin(), dense.end());
    return family;
}

// Hostile bitmaps in a few dozen bytes: a container that declares 4 GB, one of
// a 2048 × 4096 1-bit bitmap (32 MB of pixels), and family members four bytes
// apart, each inside the one before.
bool writeHostileBitmapSeeds(const std::filesystem::path& folder) {
    const Bytes largeBitmap = {0x08, 0, 0x10, 0, 1, 0, 0, 0, 1, 2, 0, 0, 0, 0xFF, 0, 0, 0};
    Bytes overlapping;
    for (int k = 0; k < 16; ++k) {
        overlapping.insert(overlapping.end(), {8, 1, 0, 1});
    }
    return writeSeed(folder / "container-declaring-4gb",
                     skinbuilder::repeatingContainer({0}, 0xFFFFFFFF)) &&
           writeSeed(folder / "container-of-a-large-bitmap",
                     skinbuilder::repeatingContainer(largeBitmap, 16 + 256 * 4096)) &&
           writeSeed(folder / "family-members-overlapping", overlapping);
}

bool writeBitmapSeeds(const std::filesystem::path& folder) {
    return writeSeed(
               folder / "indexed",
               skinbuilder::indexedBitmap(
                   12, 12, [](int x, int y) { return static_cast<std::uint8_t>(x * 16 + y); })) &&
           writeSeed(folder / "direct",
                     skinbuilder::directColorBitmap(4, 4,
                                                    [](int x, int y) {
                                                        return skinbuilder::Rgb{
                                                            static_cast<std::uint8_t>(x * 60),
                                                            static_cast<std::uint8_t>(y * 60), 9};
                                                    })) &&
           writeSeed(folder / "scan-line", compressedBitmap(0, {0xF0, 1, 2, 3, 4, 0x00})) &&
           writeSeed(folder / "rle", compressedBitmap(1, {4, 0x10, 4, 0x20})) &&
           writeSeed(folder / "packbits", compressedBitmap(2, {0xFD, 7, 0x03, 1, 2, 3, 4})) &&
           writeSeed(folder / "family", bitmapFamily()) && writeHostileBitmapSeeds(folder);
}

// The encoder's seeds start with the maximum distance (three bytes) and the
// search's path (one byte).
bool writeEncoderSeeds(const std::filesystem::path& folder, const Bytes& input) {
    const char* const paths[] = {"bitmap", "bitmap-index", "bitmap-index-from-first-distance",
                                 "bitmap-index-after-plain-work"};
    for (std::uint8_t path = 0; path < 4; ++path) {
        if (!writeSeed(folder / paths[path], prefixed({0xFF, 0xFF, 0xFF, path}, input))) {
            return false;
        }
    }
    return true;
}

// Manifests of the names Lumen build must refuse, or read inside the skin's
// folder only; the target builds each in its scratch folder, where "@OUT@"
// stands for the folder beside the skin's, which holds "secret" and
// "secret.png" (see fuzz/manifest_fuzz.cpp).
bool writeManifestSeeds(const std::filesystem::path& folder) {
    const std::string head = "[database]\nname = \"Seed\"\ntype = \"rsrc\"\ncreator = \"sBar\"\n\n";
    const auto named = [&head](const std::string& name) {
        return head + "[[resource]]\ntype = \"tSTR\"\nid = 1000\nfile = \"" + name + "\"\n";
    };
    const auto image = [&head](const std::string& name) {
        return head + "[[resource]]\ntype = \"abmp\"\nid = 31000\n[[resource.member]]\nimage = \"" +
               name + "\"\ndepth = 8\n";
    };
    // Past the limit of dotted parts, which the parser would otherwise take
    // one level of its stack each.
    std::string deep = "x";
    for (int k = 0; k < 40; ++k) {
        deep += ".x";
    }
    const std::vector<std::pair<const char*, std::string>> seeds = {
        {"names-inside",
         "\xEF\xBB\xBF# Notepad's byte-order mark first\n"
         "database.name = \"Seed\"\ndatabase.type = \"rsrc\"\ndatabase.creator = \"sBar\"\n\n"
         "[[resource]]\ntype = \"tSTR\"\nid = 1000\nfile = \"sub/t.bin\"\n"
         "[[resource]]\ntype = \"tSTR\"\nid = 1001\nfile = \"in-link\"\n"
         "[[resource]]\ntype = \"tSTR\"\nid = 1002\nfile = 'sub\\up-link'\n"
         "[[resource]]\ntype = \"abmp\"\nid = 31000\n[[resource.member]]\n"
         "image = \"sub/a.png\"\ndepth = 8\n"},
        {"name-absolute", named("@OUT@/secret")},
        {"name-up", named("../secret")},
        {"name-up-from-subfolder", image("sub\\\\..\\\\..\\\\secret.png")},
        {"name-nul", named("t.bin\\u0000junk")},
        {"name-device", named("sub/CON.bin")},
        {"name-drive", named("C:t.bin")},
        {"link-out", named("out-link")},
        {"link-out-absolute", named("absolute-link")},
        {"link-out-image", image("sub/out.png")},
        {"fifo", named("fifo")},
        {"deep-dotted-key", head + deep + " = 1\n"},
        {"deep-table-name", head + "[" + deep + "]\n"},
    };
    for (const auto& [name, text] : seeds) {
        if (!writeSeed(folder / name, Bytes(text.begin(), text.end()))) {
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <seeds folder>\n");
        return 2;
    }
    const std::filesystem::path seeds = argv[1];
    const Bytes skin = smallSkin();
    const Bytes empty = emptyDatabase();
    const Bytes statusBar = skinOfKind("rsrc", "sBar");
    const Bytes wifi = skinOfKind("aext", "WiSl");
    const bool written =
        writeSeed(seeds / "reader" / "small-skin", skin) &&
        writeSeed(seeds / "reader" / "no-resources", empty) &&
        writeSeed(seeds / "reader" / "status-bar", statusBar) &&
        writeSeed(seeds / "compressor" / "small-skin", prefixed({0}, skin)) &&
        writeSeed(seeds / "compressor" / "small-skin-in-place", prefixed({1}, skin)) &&
        writeSeed(seeds / "compressor" / "no-resources", prefixed({0}, empty)) &&
        writeEncoderSeeds(seeds / "encoder", skin) && writeBitmapSeeds(seeds / "bitmap") &&
        writeManifestSeeds(seeds / "manifest") &&
        writeSeed(seeds / "converter" / "status-bar", prefixed({0}, statusBar)) &&
        writeSeed(seeds / "converter" / "status-bar-resources", prefixed({1}, statusBar)) &&
        writeSeed(seeds / "converter" / "f3bg", prefixed({3}, skinOfKind("rsrc", "F3BG"))) &&
        writeSeed(seeds / "converter" / "wifi", prefixed({0}, wifi)) &&
        writeSeed(seeds / "converter" / "converted", prefixed({0}, skinOfKind("rsrc", "T3sk"))) &&
        writeSeed(seeds / "converter" / "unsupported", prefixed({4}, skinOfKind("appl", "memo")));
    if (!written) {
        std::fprintf(stderr, "make_fuzz_seeds: cannot write the seeds under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
