#include "build_budget.h"

#include <algorithm>

#include "bitmap_writer.h"
#include "database_header.h"
#include "file_access.h"
#include "png_reader.h"

namespace lumen {
namespace {

// Files that cannot serve (missing, outside the folder, no regular file,
// larger than any database) count nothing here: the build refuses each with
// its own reason.
struct Files {
    const std::string& folder;
    const std::function<std::string(const std::string&)>& pathOf;

    prc::FileContents start(const std::string& name, std::size_t count) const {
        return prc::readFileStart(folder, pathOf(name), count);
    }
    std::uint64_t sizeOf(const std::string& name) const {
        const prc::FileContents file = start(name, 0);
        return file.status == prc::FileReadStatus::ok && file.size <= prc::kMaxDatabaseFileSize
                   ? file.size
                   : 0;
    }
};

struct ResourceNeed {
    std::uint64_t pixels = 0;
    std::uint64_t bytes = 0;  // the most its bytes can be
};

ResourceNeed needOf(const ManifestResource& resource, const Files& files) {
    ResourceNeed need;
    if (resource.text) {
        need.bytes = resource.text->size() + 1;
        return need;
    }
    if (resource.members.empty()) {
        need.bytes = files.sizeOf(resource.file);
        return need;
    }
    // An untouched bitmap is its original; otherwise a family of members,
    // each drawn anew or taken from the original in the same format and size
    // (which only slack in a hand-made original makes larger than the bound:
    // the build holds to the budget all the same).
    const bool hasOriginal = !resource.original.empty();
    const std::uint64_t original = hasOriginal ? files.sizeOf(resource.original) : 0;
    std::uint64_t family = palmbitmap::familyOverheadBound(resource.members.size());
    for (const ManifestMember& member : resource.members) {
        const prc::FileContents start = files.start(member.image, png::kPngHeaderBytes);
        const png::PngSize size = png::readPngSize(start.bytes);
        if (start.status != prc::FileReadStatus::ok || !size.error.empty()) {
            continue;
        }
        need.pixels += std::uint64_t{size.width} * size.height;
        const palmbitmap::MemberFormat& format = member.settings.format;
        // Without a compression of its own, a member takes its original's (any
        // one), or the smallest, which is never larger than none.
        const std::optional<palmbitmap::Compression> compression =
            member.compressionGiven || !hasOriginal
                ? std::optional(format.compression.value_or(palmbitmap::Compression::none))
                : std::nullopt;
        family += palmbitmap::largestMemberSize(format.version, format.depth,
                                                static_cast<int>(size.width),
                                                static_cast<int>(size.height), compression);
    }
    need.bytes = std::max(original, family);
    return need;
}

}  // namespace

std::string addPixels(BuildBudget& budget, std::uint64_t pixels) {
    budget.pixels += pixels;
    if (budget.pixels <= kBuildPixelBudget) {
        return {};
    }
    return "the images up to here have " + std::to_string(budget.pixels) +
           " pixels; this passes the build's budget of " + std::to_string(kBuildPixelBudget) +
           " pixels";
}

std::string addBytes(BuildBudget& budget, std::uint64_t bytes) {
    budget.bytes += bytes;
    if (budget.bytes <= kBuildByteBudget) {
        return {};
    }
    return "the resources up to here may take " + std::to_string(budget.bytes) +
           " bytes; this passes the build's budget of " + std::to_string(kBuildByteBudget) +
           " bytes (" + std::to_string(kBuildByteBudget >> 20) + " MB)";
}

std::optional<BuildRefusal> refusalBeforeEncoding(
    const Manifest& manifest, const std::string& folder,
    const std::function<std::string(const std::string&)>& pathOf) {
    const Files files{folder, pathOf};
    BuildBudget budget;
    const std::uint64_t directory = prc::directoryEntryOffset(manifest.resources.size());
    for (const ManifestResource& resource : manifest.resources) {
        const ResourceNeed need = needOf(resource, files);
        // What cannot be a database at all is said first.
        if (directory + budget.bytes + need.bytes > UINT32_MAX) {
            return BuildRefusal{resource.line,
                                "the database up to here may take " +
                                    std::to_string(directory + budget.bytes + need.bytes) +
                                    " bytes; its 32-bit offsets reach " +
                                    std::to_string(UINT32_MAX)};
        }
        std::string error = addBytes(budget, need.bytes);
        if (error.empty()) {
            error = addPixels(budget, need.pixels);
        }
        if (!error.empty()) {
            return BuildRefusal{resource.line, error};
        }
    }
    return std::nullopt;
}

}  // namespace lumen
