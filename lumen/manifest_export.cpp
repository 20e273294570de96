#include "manifest_export.h"

#include <map>
#include <set>
#include <utility>

#include "member_encoding.h"
#include "skin_manifest.h"

namespace lumen {
namespace {

// <type>-<id>.bin, the type's unusual characters as '_'; a damaged database
// may hold one type and id twice.
std::string binName(const prc::ResourceEntry& entry, std::set<std::string>& used) {
    std::string base;
    for (const std::uint8_t c : entry.type) {
        const bool plain =
            (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        base += plain ? static_cast<char>(c) : '_';
    }
    // Appended piece by piece: GCC 12 warns falsely about "-" + std::string here.
    base.append("-").append(std::to_string(entry.id));
    std::string name = base + ".bin";
    for (int k = 2; !used.insert(name).second; ++k) {
        name = base;
        name.append("-").append(std::to_string(k)).append(".bin");
    }
    return name;
}

}  // namespace

ManifestExport manifestExport(const SkinView& skin, std::span<const ExportedImage> images) {
    ManifestExport result;
    Manifest manifest;
    manifest.header = skin.table.header;
    std::set<std::string> used;
    std::map<std::pair<std::size_t, std::size_t>, std::string> names;
    for (const ExportedImage& image : images) {
        names[{image.resource, image.member}] = image.name;
    }
    for (std::size_t r = 0; r < skin.resources.size(); ++r) {
        const ResourceView& view = skin.resources[r];
        const prc::ResourceEntry& entry = *view.entry;
        ManifestResource& resource = manifest.resources.emplace_back();
        resource.type = entry.type;
        resource.id = entry.id;
        const std::string bin = binName(entry, used);
        result.files.push_back({bin, entry.data});
        std::vector<ManifestMember> members;
        const auto& decoded = view.family.members;
        for (std::size_t k = 0; k < decoded.size() && damageOf(view).empty(); ++k) {
            const auto name = names.find({r, k});
            if (name != names.end()) {
                ManifestMember& member = members.emplace_back();
                member.image = name->second;
                member.settings = settingsOf(decoded[k]);
                member.digest = imageDigest(decoded[k].image);
            }
        }
        if (view.form != StoredForm::notBitmap && !decoded.empty() &&
            members.size() == decoded.size()) {
            resource.original = bin;
            resource.members = std::move(members);
        } else {
            resource.file = bin;
        }
    }
    result.text = manifestText(manifest);
    return result;
}

}  // namespace lumen
