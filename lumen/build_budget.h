// What one build may take. It is judged first from what the files tell
// before they are read (a PNG's IHDR, a file's size), so that a manifest
// asking for too much is refused before anything is encoded, and held to
// again as the build reads and encodes, should a file change meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "skin_manifest.h"

namespace lumen {

// The pixels of every image a build reads: each is decoded (four bytes a
// pixel), then drawn anew or compared with its export. 300 members of
// 320x480 and 300 of 640x960 are 230 million; a second's work is about 60.
inline constexpr std::uint64_t kBuildPixelBudget = std::uint64_t{256} << 20;

// The resources a build holds until it writes them. The file image made from
// them is as large again, and both must stay within a gigabyte with the
// working memory of the largest member (about 200 MB at 4096x4096). The same
// 600 members at 16 bits, stored plain, take 440 MB of it (461 million
// bytes); their build peaks at 906 MB.
inline constexpr std::uint64_t kBuildByteBudget = std::uint64_t{448} << 20;

struct BuildBudget {
    std::uint64_t pixels = 0;
    std::uint64_t bytes = 0;
};

// Adds an image's pixels or a resource's bytes; the reason when that passes
// the budget, otherwise empty.
std::string addPixels(BuildBudget& budget, std::uint64_t pixels);
std::string addBytes(BuildBudget& budget, std::uint64_t bytes);

struct BuildRefusal {
    int line = 0;  // the manifest's, of the resource that passes the limit
    std::string error;
};

// The first pass of a build: every image's size from its header, every other
// file's size, the largest each member can be encoded to. Refuses a manifest
// whose resources cannot fit a database's 32-bit offsets, or that passes the
// budget. Files that cannot be read are left to the build to report.
// pathOf: where a name of the manifest lies, inside folder.
std::optional<BuildRefusal> refusalBeforeEncoding(
    const Manifest& manifest, const std::string& folder,
    const std::function<std::string(const std::string&)>& pathOf);

}  // namespace lumen
