// A skin as Lumen shows it: the database header, and every resource with its
// bitmap (taken out of its container first) decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "palm_bitmap.h"
#include "resource_database.h"

namespace lumen {

enum class StoredForm { notBitmap, plain, container };

// The most that a container may declare it holds: the largest bitmap the
// decoder takes (kMaxImageBytes of pixel data) and room for its header, colour
// table and smaller family members. One that declares more is damaged,
// whatever its stream holds.
inline constexpr std::size_t kMaxContainerBytes =
    palmbitmap::kMaxImageBytes + (std::size_t{64} << 10);

// How much Lumen decodes of one skin file: what its containers unpack to and
// four bytes for each pixel, together. What lies beyond is reported as not
// decoded, so that a small file cannot take gigabytes and minutes.
inline constexpr std::size_t kDecodeBudget = std::size_t{256} << 20;

struct DecodeBudget {
    std::size_t bytesLeft = kDecodeBudget;
};

struct ResourceView {
    const prc::ResourceEntry* entry = nullptr;
    StoredForm form = StoredForm::notBitmap;
    std::uint32_t declaredSize = 0;    // a container's: what it says it holds
    std::string containerError;        // the container's stream is damaged
    std::vector<std::uint8_t> bitmap;  // the plain bitmap (of a container: decoded)
    palmbitmap::BitmapFamily family;   // decoded when the bitmap bytes are there
};

// What went wrong with a resource, or empty when it is intact.
std::string damageOf(const ResourceView& view);

// The resources are decoded one at a time (viewResource), so that a command
// holds only the images of the one it is working on.
struct SkinView {
    std::size_t fileSize = 0;
    prc::ResourceTable table;  // its header is the file's own
};

struct SkinLoad {
    std::optional<SkinView> skin;
    std::string error;  // set when there is no skin
};

// Reads the skin at a UTF-8 path and parses its database.
SkinLoad loadSkin(const std::string& path);

// The view of one resource's bytes, decoded within what is left of the
// file's budget, which it lowers. Once the budget is spent, every later
// bitmap is reported as not decoded.
ResourceView viewResource(const prc::ResourceEntry& entry, DecodeBudget& budget);

// A database name or a four-character code as text: printable ASCII kept,
// anything else as \xNN.
std::string printable(const std::uint8_t* bytes, std::size_t size);

// The database name up to its first NUL, taken from the handheld's character
// set (Windows-1252) to UTF-8; control characters and bytes the set leaves
// empty as \xNN.
std::string databaseNameText(const prc::DatabaseHeader& header);

}  // namespace lumen
