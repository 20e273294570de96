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

struct SkinView {
    std::vector<std::uint8_t> file;
    prc::ResourceTable table;             // its header is the file's own
    std::vector<ResourceView> resources;  // one per table entry, in directory order
};

struct SkinLoad {
    std::optional<SkinView> skin;
    std::string error;  // set when there is no skin
};

// Reads and decodes the skin at a UTF-8 path. The view's entries point into
// its own table, so it must not be copied.
SkinLoad loadSkin(const std::string& path);

// The view of one resource's bytes.
ResourceView viewResource(const prc::ResourceEntry& entry);

// A database name or a four-character code as text: printable ASCII kept,
// anything else as \xNN.
std::string printable(const std::uint8_t* bytes, std::size_t size);

// The database name up to its first NUL, as printable text.
std::string databaseNameText(const prc::DatabaseHeader& header);

}  // namespace lumen
