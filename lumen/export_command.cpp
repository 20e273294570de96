#include <algorithm>
#include <cstdio>
#include <system_error>

#include "bitmap_text.h"
#include "commands.h"
#include "contact_sheet.h"
#include "file_access.h"
#include "file_names.h"
#include "manifest_export.h"
#include "png_writer.h"
#include "same_file.h"
#include "shown_text.h"
#include "skin_manifest.h"
#include "skin_rules.h"
#include "skin_view.h"

namespace lumen {
namespace {

// Pictures and the contact sheet are documents: no execute bits.
constexpr unsigned kDocumentMode = 0666;

// Skin bitmaps are named by id alone; other bitmap types get their type in
// front, so that 'Tbmp' 1000 and 'abmp' 1000 do not meet.
std::string baseName(const prc::ResourceEntry& entry) {
    std::string name;
    if (entry.type != skinrules::kSkinBitmapType) {
        for (const std::uint8_t c : entry.type) {
            const bool plain =
                (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            name += plain ? static_cast<char>(c) : '_';
        }
        name += '-';
    }
    return name + std::to_string(entry.id);
}

std::string memberName(const prc::ResourceEntry& entry, const palmbitmap::BitmapMember& member,
                       bool inFamily) {
    std::string name = baseName(entry);
    if (inFamily) {
        // Appended piece by piece: GCC 12 warns falsely about "-" + std::string here.
        name.append("-").append(std::to_string(member.depth)).append("bpp");
        if (member.density != palmbitmap::kLowDensity) {
            name.append("-").append(std::to_string(member.density));
        }
    }
    return name;
}

std::string storedDescription(const ResourceView& view) {
    const std::string size = std::to_string(view.entry->data.size()) + " bytes";
    if (view.form == StoredForm::container) {
        return "stored as cBMP, " + size + " (" + std::to_string(view.declaredSize) + " unpacked)";
    }
    return "stored plain, " + size;
}

std::string memberDetails(const palmbitmap::BitmapMember& member, std::size_t index,
                          std::size_t count) {
    std::string details = std::to_string(member.depth) + " bpp";
    if (member.density != palmbitmap::kLowDensity) {
        details += ", density " + std::to_string(member.density);
    }
    if (count > 1) {
        details += ", member " + std::to_string(index + 1) + " of " + std::to_string(count);
    }
    return details;
}

std::string joined(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/' ||
        folder.back() == static_cast<char>(std::filesystem::path::preferred_separator)) {
        return folder + name;
    }
    return folder + static_cast<char>(std::filesystem::path::preferred_separator) + name;
}

struct Writer {
    const std::string& skinPath;
    const std::string& folder;
    // Compares each file with the one of its name in the folder instead of
    // writing it, silently; a file missing or different counts as a failure.
    bool compareOnly = false;
    std::size_t failures = 0;

    bool write(const std::string& name, std::span<const std::uint8_t> bytes) {
        const std::string path = joined(folder, name);
        if (compareOnly) {
            const prc::FileContents there = prc::readWholeFile(path, bytes.size());
            const bool same =
                there.status == prc::FileReadStatus::ok &&
                std::equal(bytes.begin(), bytes.end(), there.bytes.begin(), there.bytes.end());
            failures += same ? 0 : 1;
            return same;
        }
        if (isSameFile(path, skinPath)) {
            reportFailure(path, "is the skin itself; Lumen never writes over its input");
            ++failures;
            return false;
        }
        const prc::FileWriteResult written =
            prc::replaceFile(path, bytes, kDocumentMode, prc::ExistingName::replace);
        if (written.status != prc::FileWriteStatus::ok) {
            reportFailure(path, "cannot write the file: " + written.reason);
            ++failures;
            return false;
        }
        return true;
    }
};

// What the run wrote, never what it meant to write: on a full disk the
// contact sheet may be missing, and the files that failed are counted.
std::string writtenSummary(std::size_t images, bool sheetWritten, std::size_t failures,
                           const std::string& folder) {
    std::string summary = std::to_string(images) + " images";
    if (sheetWritten) {
        summary += " and index.html";
    }
    summary += " written to " + shownPath(folder);
    if (failures > 0) {
        summary += "; " + std::to_string(failures) + (failures == 1 ? " file" : " files") +
                   " could not be written";
    }
    return summary;
}

struct ExportRun {
    std::size_t images = 0;
    bool damaged = false;
    bool sheetWritten = false;
};

// Every file of the export, through the writer; damage is reported only when
// the files are really written.
ExportRun exportFiles(const SkinView& skin, const std::string& path, Writer& writer) {
    const bool report = !writer.compareOnly;
    FileNames names;
    std::vector<ExportedBitmap> exported;
    std::vector<SheetEntry> sheet;
    std::size_t images = 0;
    bool damaged = false;
    DecodeBudget budget;
    const std::vector<prc::ResourceEntry>& entries = skin.table.entries;
    for (std::size_t r = 0; r < entries.size(); ++r) {
        // One resource's images at a time: each goes once it is written.
        ResourceView view = viewResource(entries[r], budget);
        if (view.form == StoredForm::notBitmap) {
            continue;
        }
        const std::string damage = damageOf(view);
        if (!damage.empty()) {
            if (report) {
                reportFailure(path, resourceName(view) + ": " + damage);
            }
            damaged = true;
            sheet.push_back({resourceName(view), "", 0, 0, "", storedDescription(view), damage});
        }
        auto& members = view.family.members;
        // Whole and intact, it builds back from its pictures; else from its bytes.
        ExportedBitmap bitmap{r, {}};
        bool whole = damage.empty();
        for (std::size_t k = 0; k < members.size(); ++k) {
            palmbitmap::BitmapMember& member = members[k];
            if (!member.error.empty()) {
                continue;
            }
            const std::string name =
                names.unique(memberName(*view.entry, member, members.size() > 1), ".png");
            const std::vector<std::uint8_t> png =
                png::encodeRgbaPng(static_cast<std::uint32_t>(member.width),
                                   static_cast<std::uint32_t>(member.height), member.image.rgba);
            bitmap.members.push_back(exportedMember(member, name));
            member.image.rgba = {};
            if (!writer.write(name, png)) {
                whole = false;
                continue;
            }
            ++images;
            sheet.push_back({resourceName(view), name, member.width, member.height,
                             memberDetails(member, k, members.size()), storedDescription(view),
                             ""});
        }
        if (whole) {
            exported.push_back(std::move(bitmap));
        }
    }
    const std::u8string fileName = utf8Path(path).filename().u8string();
    const prc::DatabaseHeader& header = skin.table.header;
    const std::string summary = "Database \"" + databaseNameText(header) + "\", type " +
                                printable(header.type.data(), header.type.size()) + ", creator " +
                                printable(header.creator.data(), header.creator.size()) + ": " +
                                std::to_string(skin.table.entries.size()) + " resources, " +
                                std::to_string(images) + " images" +
                                (damaged ? ", damaged bitmaps listed without an image" : "");
    const std::string html =
        contactSheetHtml(shownPath(std::string(fileName.begin(), fileName.end())), summary, sheet);
    const ManifestExport manifest = manifestExport(skin, exported);
    for (const ExportFile& file : manifest.files) {
        writer.write(file.name, file.bytes);
    }
    writer.write(kManifestName,
                 std::span(reinterpret_cast<const std::uint8_t*>(manifest.text.data()),
                           manifest.text.size()));
    const bool sheetWritten = writer.write(
        "index.html", std::span(reinterpret_cast<const std::uint8_t*>(html.data()), html.size()));
    return {images, damaged, sheetWritten};
}

}  // namespace

int exportSkin(const std::string& path, const std::string& folder) {
    const SkinLoad load = loadSkin(path);
    if (!load.skin) {
        reportFailure(path, load.error);
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(utf8Path(folder), error);
    if (error || !std::filesystem::is_directory(utf8Path(folder), error)) {
        reportFailure(folder, "cannot create the folder");
        return 1;
    }
    Writer writer{path, folder};
    const ExportRun run = exportFiles(*load.skin, path, writer);
    std::printf("%s: %s\n", shownPath(path).c_str(),
                writtenSummary(run.images, run.sheetWritten, writer.failures, folder).c_str());
    return !run.damaged && writer.failures == 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

bool holdsExportOf(const std::string& path, const std::string& folder) {
    const SkinLoad load = loadSkin(path);
    if (!load.skin) {
        return false;
    }
    Writer writer{path, folder, true};
    exportFiles(*load.skin, path, writer);
    return writer.failures == 0;
}

}  // namespace lumen
