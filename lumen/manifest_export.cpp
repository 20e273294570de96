#include "manifest_export.h"

#include <algorithm>
#include <map>

#include "file_names.h"
#include "manifest_text.h"
#include "member_encoding.h"
#include "skin_manifest.h"
#include "skin_rules.h"
#include "windows_1252.h"

namespace lumen {
namespace {

constexpr prc::TypeCode kStringType = prc::typeCode("tSTR");

// The longest resource written as text: a label or a message, never pages.
// Each byte takes at most three in the manifest, so that a thousand of them
// stay within the limit of a manifest that build reads.
constexpr std::size_t kMaxTextResourceBytes = 4096;

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

// Whether a resource goes into the manifest as text: a string resource, or
// any other that holds text closed by one NUL and shows at least one
// character. Bitmaps never: a damaged one stays its bytes. Longer ones stay
// files, so that no manifest of a database grows past what build reads.
bool exportedAsText(const prc::ResourceEntry& entry) {
    if (skinrules::isBitmapType(entry.type) || entry.data.size() > kMaxTextResourceBytes ||
        !palmtext::isNulTerminatedText(entry.data)) {
        return false;
    }
    return entry.type == kStringType ||
           std::any_of(entry.data.begin(), entry.data.end(),
                       [](std::uint8_t c) { return c > ' ' && c != 0xA0; });
}

// A block of bytes beside the resources goes into a file of its own.
std::string layoutFile(const char* base, std::span<const std::uint8_t> bytes, FileNames& names,
                       std::vector<ExportFile>& files) {
    const std::string name = names.unique(base, ".bin");
    files.push_back({name, bytes});
    return name;
}

// What differs from Palm OS's layout: a gap of other bytes than zeros, or
// too long to be a number, goes to a file; the blocks to files of their own.
void exportLayout(const prc::ResourceTable& table, Manifest& manifest, FileNames& names,
                  std::vector<ExportFile>& files) {
    const prc::FileLayout& layout = table.layout;
    manifest.layout.dataOrder = layout.dataOrder;
    const bool zeros =
        layout.gap.size() <= kMaxZeroGap &&
        std::all_of(layout.gap.begin(), layout.gap.end(), [](std::uint8_t c) { return c == 0; });
    manifest.layout.gap = zeros ? layout.gap : std::vector<std::uint8_t>{};
    if (!zeros) {
        manifest.gapFile.name = layoutFile("gap", layout.gap, names, files);
    }
    if (layout.appInfo) {
        manifest.appInfo.name = layoutFile("appInfo", *layout.appInfo, names, files);
        manifest.header.appInfoID = 0;
    }
    if (layout.sortInfo) {
        manifest.sortInfo.name = layoutFile("sortInfo", *layout.sortInfo, names, files);
        manifest.header.sortInfoID = 0;
    }
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
    exportLayout(skin.table, manifest, names, result.files);
    std::map<std::size_t, const ExportedBitmap*> exported;
    for (const ExportedBitmap& bitmap : bitmaps) {
        exported[bitmap.resource] = &bitmap;
    }
    for (std::size_t r = 0; r < skin.table.entries.size(); ++r) {
        const prc::ResourceEntry& entry = skin.table.entries[r];
        ManifestResource& resource = manifest.resources.emplace_back();
        resource.type = entry.type;
        resource.id = entry.id;
        const auto bitmap = exported.find(r);
        if (bitmap == exported.end() && exportedAsText(entry)) {
            resource.text.emplace(entry.data.begin(), entry.data.end() - 1);
            continue;
        }
        const std::string bin = binName(entry, names);
        result.files.push_back({bin, entry.data});
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
