// A manifest and a PNG file (the bytes after the first NUL) made into bitmap
// members, as Lumen build makes them: the reader never crashes; a manifest it
// accepts comes back the same from the text Lumen export would write of it;
// every member that encodes decodes whole, at the image's size, with the
// image's clear pixels clear; and the members chain into a family that
// decodes to as many.
//
// The manifest is also built, in a scratch folder of real files: t.bin and
// a.png (the input's PNG, or a small one) with a subfolder, a FIFO, links
// that stay inside and links that lead out to files beside the folder, whose
// absolute path "@OUT@" in the manifest stands for. A manifest accepted
// names nothing the name rule refuses; a build that succeeds read only files
// inside the folder, and the bytes outside never reach the skin.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "bitmap_writer.h"
#include "color_reduction.h"
#include "commands.h"
#include "manifest_paths.h"
#include "manifest_text.h"
#include "member_encoding.h"
#include "png_reader.h"
#include "png_writer.h"
#include "require.h"
#include "resource_database.h"
#include "scratch_files.h"
#include "skin_manifest.h"

namespace lumen {

// Lumen's own prints the line; here the build's refusals are expected.
void reportFailure(const std::string&, const std::string&) {}

}  // namespace lumen

namespace {

namespace fs = std::filesystem;

// Larger images only take time and memory; the limit itself is tested elsewhere.
constexpr int kLargestSide = 256;

// What lies outside the skin's folder: bytes that must never reach a skin.
const std::vector<std::uint8_t> kSecret = [] {
    const std::string text = "bytes from outside the skin's folder";
    return std::vector<std::uint8_t>(text.begin(), text.end());
}();

const std::vector<std::uint8_t> kInsideBytes = {'i', 'n', 's', 'i', 'd', 'e'};

struct Folders {
    fs::path outside;  // the scratch folder: secret, secret.png, the skin written
    fs::path skin;     // outside/in: the manifest's folder
};

// Made once; a.png and skin.toml are written again for every input.
const Folders& folders() {
    static const Folders made = [] {
        Folders f{fuzzfiles::scratchFolder(), fuzzfiles::scratchFolder() / "in"};
        fs::create_directories(f.skin / "sub");
        fuzzfiles::writeBytes(f.outside / "secret", kSecret);
        const std::vector<std::uint8_t> pixel = {1, 2, 3, 255};
        fuzzfiles::writeBytes(f.outside / "secret.png", png::encodeRgbaPng(1, 1, pixel));
        fuzzfiles::writeBytes(f.skin / "t.bin", kInsideBytes);
        fuzzfiles::writeBytes(f.skin / "sub" / "t.bin", kInsideBytes);
        std::error_code ignored;
        fs::create_symlink("t.bin", f.skin / "in-link", ignored);
        fs::create_symlink("../t.bin", f.skin / "sub" / "up-link", ignored);
        fs::create_symlink("../a.png", f.skin / "sub" / "a.png", ignored);
        fs::create_symlink("../secret", f.skin / "out-link", ignored);
        fs::create_symlink("../../secret.png", f.skin / "sub" / "out.png", ignored);
        fs::create_symlink(f.outside / "secret", f.skin / "absolute-link", ignored);
        ::mkfifo((f.skin / "fifo").c_str(), 0644);
        // Lumen build's line of success.
        [[maybe_unused]] const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
        return f;
    }();
    return made;
}

std::string withOutsideFolder(std::string text) {
    const std::string placeholder = "@OUT@";
    const std::string outside = folders().outside.string();
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + outside.size())) {
        text.replace(at, placeholder.size(), outside);
    }
    return text;
}

bool liesInside(const fs::path& path, const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    const fs::path within = fs::canonical(folder, error);
    const auto [end, rest] = std::mismatch(within.begin(), within.end(), real.begin(), real.end());
    return !error && end == within.end() && rest != real.end();
}

// Builds the manifest; a skin built must hold only what lies inside.
void checkBuild(const lumen::Manifest& manifest, const std::string& text,
                std::span<const std::uint8_t> png) {
    const Folders& f = folders();
    fuzzfiles::writeBytes(
        f.skin / "skin.toml",
        std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
    const std::vector<std::uint8_t> pixels = {0, 0, 0, 255, 9, 9, 9, 0};
    fuzzfiles::writeBytes(f.skin / "a.png",
                          png.empty() ? png::encodeRgbaPng(2, 1, pixels)
                                      : std::vector<std::uint8_t>(png.begin(), png.end()));
    const fs::path output = f.outside / "built.prc";
    std::error_code ignored;
    fs::remove(output, ignored);
    if (lumen::buildSkin(f.skin.string(), output.string()) != 0) {
        FUZZ_REQUIRE(!fs::exists(output));
        return;
    }
    std::vector<std::string> names = {manifest.gapFile.name, manifest.appInfo.name,
                                      manifest.sortInfo.name};
    for (const lumen::ManifestResource& resource : manifest.resources) {
        names.insert(names.end(), {resource.file, resource.original});
        for (const lumen::ManifestMember& member : resource.members) {
            names.push_back(member.image);
        }
    }
    for (const std::string& name : names) {
        FUZZ_REQUIRE(name.empty() || liesInside(f.skin / lumen::withForwardSlashes(name), f.skin));
    }
    const prc::DatabaseParse built = prc::parseResourceDatabase(fuzzfiles::readBytes(output));
    FUZZ_REQUIRE(built.table.has_value());
    // Nothing of the file outside, in a resource read from a file (a text is
    // the manifest's own), a gap or a block.
    const prc::FileLayout& layout = built.table->layout;
    std::vector<std::span<const std::uint8_t>> read = {layout.gap};
    for (const auto* block : {&layout.appInfo, &layout.sortInfo}) {
        if (*block) {
            read.push_back(**block);
        }
    }
    for (std::size_t k = 0; k < built.table->entries.size(); ++k) {
        if (!manifest.resources[k].text) {
            read.push_back(built.table->entries[k].data);
        }
    }
    for (const std::span<const std::uint8_t> bytes : read) {
        FUZZ_REQUIRE(std::search(bytes.begin(), bytes.end(), kSecret.begin(), kSecret.end()) ==
                     bytes.end());
    }
}

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
    const std::string text =
        withOutsideFolder(std::string(reinterpret_cast<const char*>(data), textSize));
    const lumen::ManifestRead read = lumen::parseManifest(text, 0);
    if (!read.manifest) {
        FUZZ_REQUIRE(!read.error.empty() && read.errorLine >= 0);
        return 0;
    }
    for (const lumen::ManifestResource& resource : read.manifest->resources) {
        FUZZ_REQUIRE(lumen::manifestNameProblem(resource.file).empty() &&
                     lumen::manifestNameProblem(resource.original).empty());
        for (const lumen::ManifestMember& member : resource.members) {
            FUZZ_REQUIRE(lumen::manifestNameProblem(member.image).empty());
        }
    }
    const lumen::Manifest& m = *read.manifest;
    for (const lumen::LayoutFile* named : {&m.gapFile, &m.appInfo, &m.sortInfo}) {
        FUZZ_REQUIRE(lumen::manifestNameProblem(named->name).empty());
    }
    const lumen::ManifestRead again = lumen::parseManifest(lumen::manifestText(*read.manifest), 0);
    FUZZ_REQUIRE(again.manifest.has_value());
    FUZZ_REQUIRE(again.manifest->header == read.manifest->header);
    const lumen::Manifest& n = *again.manifest;
    FUZZ_REQUIRE(n.layout == m.layout && n.gapFile.name == m.gapFile.name &&
                 n.appInfo.name == m.appInfo.name && n.sortInfo.name == m.sortInfo.name);
    FUZZ_REQUIRE(again.manifest->resources.size() == read.manifest->resources.size());
    for (std::size_t r = 0; r < read.manifest->resources.size(); ++r) {
        const auto& a = read.manifest->resources[r];
        const auto& b = again.manifest->resources[r];
        FUZZ_REQUIRE(a.type == b.type && a.id == b.id && a.file == b.file && a.text == b.text &&
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
    checkBuild(*read.manifest, text, file);
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
