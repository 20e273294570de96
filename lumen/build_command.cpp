#include <chrono>
#include <cstdio>

#include "bitmap_family.h"
#include "build_budget.h"
#include "commands.h"
#include "file_access.h"
#include "file_reading.h"
#include "image_file.h"
#include "manifest_paths.h"
#include "manifest_words.h"
#include "same_file.h"
#include "shown_text.h"
#include "skin_manifest.h"
#include "skin_view.h"

namespace lumen {
namespace {

// Seconds from 1904, the handheld's epoch, to 1970, the system clock's.
constexpr std::int64_t kPalmEpochOffset = 2082844800;

std::uint32_t palmTimeNow() {
    const auto unix = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    return static_cast<std::uint32_t>(unix + kPalmEpochOffset);
}

// The manifest's names (already known to stay inside the folder) take either
// separator on every system.
std::string inFolder(const std::string& folder, const std::string& name) {
    const std::u8string path = (utf8Path(folder) / utf8Path(withForwardSlashes(name))).u8string();
    return std::string(path.begin(), path.end());
}

// Reports and returns true when an input of the build is the output itself.
bool isTheOutput(const std::string& path, const std::string& outputPath) {
    if (!isSameFile(path, outputPath)) {
        return false;
    }
    reportFailure(outputPath, "is an input of the build; Lumen never writes over its input");
    return true;
}

struct Build {
    const std::string& folder;
    const std::string& manifestPath;
    const std::string& outputPath;
    std::size_t drawn = 0;  // members encoded from their images
    // "abmp 31000: 320x480 -> 160x240" for each bitmap whose picture took a new size.
    std::vector<std::string> resized = {};
    // The originals that one build decodes share one file's budget.
    DecodeBudget budget;
    // What the build has read and made, held to the budget that the first
    // pass judged from the headers, should a file have changed since.
    BuildBudget spent;

    // Reports and returns false when a file cannot serve: missing, or the output itself.
    std::optional<std::vector<std::uint8_t>> readInput(const std::string& name, int line) {
        const std::string path = inFolder(folder, name);
        if (isTheOutput(path, outputPath)) {
            return std::nullopt;
        }
        // A resource, or an original, ends up inside a database.
        prc::FileContents contents =
            prc::readWholeFileInside(folder, path, prc::kMaxDatabaseFileSize);
        if (contents.status != prc::FileReadStatus::ok) {
            reportFailure(manifestPath + ":" + std::to_string(line),
                          shownPath(path) + ": " + readFailure(contents.status, kDatabaseLimit));
            return std::nullopt;
        }
        return std::move(contents.bytes);
    }

    // The settings of a member drawn anew: its original's (so that it keeps
    // its colour table and transparent value), with what the manifest asks.
    MemberSettings settingsFor(const ManifestMember& member,
                               const palmbitmap::BitmapMember* original) {
        const palmbitmap::MemberFormat& wanted = member.settings.format;
        if (original == nullptr || original->depth != wanted.depth ||
            original->density != wanted.density || original->version != wanted.version) {
            return member.settings;
        }
        MemberSettings settings = settingsOf(*original);
        if (member.compressionGiven) {
            settings.format.compression = wanted.compression;
        }
        if (member.colorsGiven) {
            settings.format.colorTable.clear();
            settings.imageColors = member.settings.imageColors;
            settings.colorLimit = member.settings.colorLimit;
        }
        settings.dither = member.settings.dither;
        settings.transparentColor = member.settings.transparentColor;
        return settings;
    }

    // Puts the members in the order the handheld needs them, then reports and
    // returns false when they are no family that every handheld shows right.
    bool inHandheldOrder(const ManifestResource& resource,
                         std::vector<std::vector<std::uint8_t>>& members,
                         std::vector<palmbitmap::MemberShape>& shapes) {
        const std::vector<std::size_t> order = palmbitmap::handheldOrder(shapes);
        std::vector<std::vector<std::uint8_t>> orderedMembers;
        std::vector<palmbitmap::MemberShape> orderedShapes;
        for (const std::size_t k : order) {
            orderedMembers.push_back(std::move(members[k]));
            orderedShapes.push_back(shapes[k]);
        }
        members = std::move(orderedMembers);
        shapes = std::move(orderedShapes);
        const std::vector<palmbitmap::FamilyProblem> problems = palmbitmap::familyProblems(shapes);
        if (problems.empty()) {
            return true;
        }
        const palmbitmap::FamilyProblem& problem = problems.front();
        const ManifestMember& member = resource.members[order[problem.member]];
        const ManifestMember& other = resource.members[order[problem.other]];
        reportFailure(manifestPath + ":" + std::to_string(member.line),
                      "resource.member: " + shownPath(member.image) + ": " +
                          palmbitmap::familyProblemText(
                              problem, shapes,
                              shownPath(other.image) + " at line " + std::to_string(other.line)));
        return false;
    }

    // A bitmap's picture may take a new size (its members agreeing); the
    // summary says so, since replace would have refused it.
    void noteNewSize(const ManifestResource& resource,
                     const std::vector<palmbitmap::BitmapMember>& originals,
                     const std::vector<palmbitmap::MemberShape>& shapes) {
        if (originals.empty() || shapes.empty()) {
            return;
        }
        std::vector<palmbitmap::MemberShape> before;
        for (const palmbitmap::BitmapMember& original : originals) {
            before.push_back(palmbitmap::shapeOf(original));
        }
        const palmbitmap::MemberShape& was = before[palmbitmap::referenceMember(before)];
        const palmbitmap::MemberShape& is = shapes[palmbitmap::referenceMember(shapes)];
        if (!palmbitmap::sameShownSize(was, is)) {
            resized.push_back(printable(resource.type.data(), resource.type.size()) + " " +
                              std::to_string(resource.id) + ": " + palmbitmap::sizeText(was) +
                              " -> " + palmbitmap::sizeText(is));
        }
    }

    // The manifest's layout with the bytes of its files; nothing when one
    // cannot be read or the data order would not read back.
    std::optional<prc::FileLayout> layoutOf(const Manifest& manifest,
                                            std::span<const prc::ResourceEntry> entries) {
        prc::FileLayout layout = manifest.layout;
        // The bytes of a file the manifest names, within the build's budget.
        const auto take = [this](const LayoutFile& file, std::vector<std::uint8_t>& bytes) {
            std::optional<std::vector<std::uint8_t>> read = readInput(file.name, file.line);
            if (!read) {
                return false;
            }
            const std::string over = addBytes(spent, read->size());
            if (!over.empty()) {
                reportFailure(manifestPath + ":" + std::to_string(file.line), over);
                return false;
            }
            bytes = std::move(*read);
            return true;
        };
        if ((!manifest.gapFile.name.empty() && !take(manifest.gapFile, layout.gap)) ||
            (!manifest.appInfo.name.empty() && !take(manifest.appInfo, layout.appInfo.emplace())) ||
            (!manifest.sortInfo.name.empty() &&
             !take(manifest.sortInfo, layout.sortInfo.emplace()))) {
            return std::nullopt;
        }
        if (const std::optional<std::size_t> empty =
                prc::emptyResourceOutOfPlace(entries, layout)) {
            const auto named = [&entries](std::size_t k) {
                return codeText(entries[k].type) + " " + std::to_string(entries[k].id);
            };
            std::size_t owner = 0;
            for (std::size_t k = layout.dataOrder.size(); k-- > 0;) {
                if (layout.dataOrder[k] == *empty) {
                    break;
                }
                if (!entries[layout.dataOrder[k]].data.empty()) {
                    owner = layout.dataOrder[k];
                }
            }
            reportFailure(manifestPath + ":" + std::to_string(manifest.dataOrderLine),
                          "database.dataOrder: the empty resource " + named(*empty) +
                              " would stand where the data of " + named(owner) +
                              " begin, a resource before it in the directory, and read back "
                              "take those data; put the empty one after them");
            return std::nullopt;
        }
        return layout;
    }

    std::optional<std::vector<std::uint8_t>> bitmapOf(const ManifestResource& resource) {
        const bool hasOriginal = !resource.original.empty();
        ResourceView view;
        prc::ResourceEntry originalEntry{resource.type, resource.id, {}, 0};
        if (hasOriginal) {
            std::optional<std::vector<std::uint8_t>> original =
                readInput(resource.original, resource.line);
            if (!original) {
                return std::nullopt;
            }
            originalEntry.data = std::move(*original);
            view = viewResource(originalEntry, budget);
            if (!damageOf(view).empty()) {
                reportFailure(
                    manifestPath + ":" + std::to_string(resource.line),
                    shownPath(resource.original) + ": not an intact bitmap: " + damageOf(view));
                return std::nullopt;
            }
        }
        const auto& originals = view.family.members;
        const bool paired = originals.size() == resource.members.size();
        std::vector<std::vector<std::uint8_t>> members;
        std::vector<palmbitmap::MemberShape> shapes;
        bool untouched = hasOriginal && paired;
        for (std::size_t k = 0; k < resource.members.size(); ++k) {
            const ManifestMember& member = resource.members[k];
            const std::string where = manifestPath + ":" + std::to_string(member.line);
            const std::string path = inFolder(folder, member.image);
            if (isTheOutput(path, outputPath)) {
                return std::nullopt;
            }
            const ImageLoad load = loadPngImageInside(folder, path);
            if (!load.image) {
                reportFailure(where, shownPath(path) + ": " + load.error);
                return std::nullopt;
            }
            const std::string over = addPixels(
                spent, std::uint64_t(load.image->width) * std::uint64_t(load.image->height));
            if (!over.empty()) {
                reportFailure(where, over);
                return std::nullopt;
            }
            const palmbitmap::BitmapMember* from = paired ? &originals[k] : nullptr;
            const MemberSettings settings = settingsFor(member, from);
            shapes.push_back({load.image->width, load.image->height, settings.format.depth,
                              settings.format.density});
            const bool sameFormat = from != nullptr && !member.colorsGiven &&
                                    !member.transparentGiven && !member.settings.dither &&
                                    settings.format.depth == from->depth &&
                                    settings.format.density == from->density &&
                                    settings.format.version == from->version &&
                                    settings.format.compression == from->compression;
            if (sameFormat && !member.digest.empty() && imageDigest(*load.image) == member.digest) {
                const auto bytes = palmbitmap::memberBytes(view.bitmap, *from);
                members.emplace_back(bytes.begin(), bytes.end());
                continue;
            }
            untouched = false;
            palmbitmap::EncodedMember encoded = encodeMember(*load.image, settings);
            if (!encoded.error.empty()) {
                reportFailure(where, shownPath(path) + ": " + encoded.error);
                return std::nullopt;
            }
            ++drawn;
            members.push_back(std::move(encoded.bytes));
        }
        if (untouched) {
            return std::move(originalEntry.data);
        }
        if (!inHandheldOrder(resource, members, shapes)) {
            return std::nullopt;
        }
        noteNewSize(resource, originals, shapes);
        palmbitmap::EncodedFamily family = palmbitmap::chainBitmapFamily(members);
        if (!family.error.empty()) {
            reportFailure(manifestPath + ":" + std::to_string(resource.line), family.error);
            return std::nullopt;
        }
        return std::move(family.bytes);
    }
};

}  // namespace

int buildSkin(const std::string& folder, const std::string& outputPath) {
    const std::string manifestPath = inFolder(folder, kManifestName);
    const prc::FileContents contents = prc::readWholeFile(manifestPath, kMaxManifestSize);
    if (contents.status != prc::FileReadStatus::ok) {
        reportFailure(manifestPath,
                      readFailure(contents.status, std::to_string(kMaxManifestSize >> 20) +
                                                       " MB, the limit for a manifest"));
        return 1;
    }
    if (isTheOutput(manifestPath, outputPath)) {
        return 1;
    }
    const ManifestRead read =
        parseManifest(std::string(contents.bytes.begin(), contents.bytes.end()), palmTimeNow());
    if (!read.manifest) {
        reportFailure(manifestPath + ":" + std::to_string(read.errorLine), read.error);
        return 1;
    }
    const std::optional<BuildRefusal> refusal = refusalBeforeEncoding(
        *read.manifest, folder,
        [&folder](const std::string& name) { return inFolder(folder, name); });
    if (refusal) {
        reportFailure(manifestPath + ":" + std::to_string(refusal->line), refusal->error);
        return 1;
    }
    Build build{folder, manifestPath, outputPath, 0, {}, {}, {}};
    std::vector<prc::ResourceEntry> entries;
    for (const ManifestResource& resource : read.manifest->resources) {
        std::optional<std::vector<std::uint8_t>> bytes;
        if (resource.text) {
            // The text and the NUL that closes a string resource.
            bytes = *resource.text;
            bytes->push_back(0);
        } else if (resource.members.empty()) {
            bytes = build.readInput(resource.file, resource.line);
        } else {
            bytes = build.bitmapOf(resource);
        }
        if (!bytes) {
            return 1;
        }
        const std::string over = addBytes(build.spent, bytes->size());
        if (!over.empty()) {
            reportFailure(manifestPath + ":" + std::to_string(resource.line), over);
            return 1;
        }
        entries.push_back({resource.type, resource.id, std::move(*bytes), 0});
    }
    const std::optional<prc::FileLayout> layout = build.layoutOf(*read.manifest, entries);
    if (!layout) {
        return 1;
    }
    const std::optional<std::size_t> written =
        writeSkin(outputPath, read.manifest->header, entries, "skin", *layout);
    if (!written) {
        return 1;
    }
    for (const std::string& line : build.resized) {
        std::printf("%s: %s\n", shownPath(folder).c_str(), line.c_str());
    }
    std::printf("%s: %zu resources, %zu bitmap members drawn anew, %zu bytes written to %s\n",
                shownPath(folder).c_str(), entries.size(), build.drawn, *written,
                shownPath(outputPath).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
