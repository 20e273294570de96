#include "manifest_export.h"

#include <map>

#include "file_names.h"
#include "manifest_text.h"
#include "member_encoding.h"
#include "skin_manifest.h"

namespace lumen {
namespace {

// <type>-<id>.bin, the type's unusual characters as '_'.
std::string binName(const prc::ResourceEntry& entry, FileNames& names) {
    std::string base;
    for (const std::uint8_t c : entry.type) {
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        base += plain ? static_cast<char>(c) : '_';
    }
    // Appended piece by piece: GCC 12 warns falsely about "-" + std::string here.
    base.append("-").append(std::to_string(entry.id));
    return names.unique(base, ".bin");
}

}  // namespace

ManifestMember exportedMember(const palmbitmap::BitmapMember& member, const std::string& image) {
    ManifestMember exported;
    exported.image = image;
    exported.settings = settingsOf(member);
    exported.digest = imageDigest(member.image);
    return exported;
}

ManifestExport manifestExport(const SkinView& skin, std::span<const ExportedBitmap> bitmaps) {
    ManifestExport result;
    Manifest manifest;
    manifest.header = skin.table.header;
    FileNames names;
    std::map<std::size_t, const ExportedBitmap*> exported;
    for (const ExportedBitmap& bitmap : bitmaps) {
        exported[bitmap.resource] = &bitmap;
    }
    for (std::size_t r = 0; r < skin.table.entries.size(); ++r) {
        const prc::ResourceEntry& entry = skin.table.entries[r];
        ManifestResource& resource = manifest.resources.emplace_back();
        resource.type = entry.type;
        resource.id = entry.id;
        const std::string bin = binName(entry, names);
        result.files.push_back({bin, entry.data});
        const auto bitmap = exported.find(r);
        if (bitmap != exported.end()) {
            resource.original = bin;
            resource.members = bitmap->second->members;
        } else {
            resource.file = bin;
        }
    }
    result.text = manifestText(manifest);
    return result;
}

}  // namespace lumen
