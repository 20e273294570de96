// skin.toml: what a skin is made of, and its reading. Lumen export writes one
// beside the images and the raw resources (manifest_text.h); Lumen build reads
// one, written by export or by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "member_encoding.h"
#include "resource_database.h"

namespace lumen {

inline constexpr const char* kManifestName = "skin.toml";

// A manifest larger than this is refused before it is parsed. A skin's is a
// few kilobytes; export writes some 300 bytes a bitmap member.
inline constexpr std::size_t kMaxManifestSize = std::size_t{16} << 20;

struct ManifestMember {
    std::string image;  // a PNG file, relative to the manifest's folder
    int line = 0;       // where the member begins in the manifest
    MemberSettings settings;
    bool compressionGiven = false;  // otherwise the original's, or the smallest
    bool colorsGiven = false;
    bool transparentGiven = false;
    std::string digest;  // of the image as exported; empty for a new one
};

struct ManifestResource {
    prc::TypeCode type{};
    std::uint16_t id = 0;
    int line = 0;
    std::string file;  // the raw bytes of a resource that is no bitmap
    // Or its text, in the handheld's character set (Windows-1252) without the
    // NUL that closes it in the database.
    std::optional<std::vector<std::uint8_t>> text;
    std::string original;  // a bitmap's bytes as exported
    std::vector<ManifestMember> members;
};

// A file that holds some of the database's bytes beside its resources.
struct LayoutFile {
    std::string name;  // empty: none
    int line = 0;
};

struct Manifest {
    // Its appInfoID and sortInfoID as given (appInfoId, sortInfoId), for a
    // database without those blocks.
    prc::DatabaseHeader header;
    // Palm OS's layout unless the manifest gives a gap of zero bytes or a
    // data order. A gap, an appInfo or a sortInfo block of the files below
    // is read by build.
    prc::FileLayout layout = prc::palmLayout();
    LayoutFile gapFile;
    LayoutFile appInfo;
    LayoutFile sortInfo;
    int dataOrderLine = 0;
    std::vector<ManifestResource> resources;
};

// The longest gap that the manifest gives as a number of zero bytes.
inline constexpr std::size_t kMaxZeroGap = 65535;

struct ManifestRead {
    std::optional<Manifest> manifest;
    int errorLine = 0;
    std::string error;  // "<key>: <what>", or the parser's own words
};

// Parses the text of a manifest; nowSeconds (Palm OS time, seconds since
// 1904) stands in for the dates it leaves out.
ManifestRead parseManifest(const std::string& text, std::uint32_t nowSeconds);

}  // namespace lumen
