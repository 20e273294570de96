#include <charconv>
#include <cstdio>
#include <functional>

#include "bitmap_text.h"
#include "commands.h"
#include "member_encoding.h"
#include "same_file.h"
#include "shown_text.h"
#include "skin_rules.h"
#include "skin_view.h"

namespace lumen {

int replaceBitmapFrom(const std::string& skinPath, const std::string& idText,
                      const std::string& imagePath, const std::string& outputPath,
                      const std::function<ImageLoad()>& loadImage) {
    unsigned id = 0;
    const auto [end, error] = std::from_chars(idText.data(), idText.data() + idText.size(), id);
    if (error != std::errc{} || end != idText.data() + idText.size() || id > 0xFFFF) {
        reportFailure(idText, "is not a resource id (0 to 65535)");
        return 1;
    }
    SkinLoad load = loadSkin(skinPath);
    if (!load.skin) {
        reportFailure(skinPath, load.error);
        return 1;
    }
    for (const std::string& input : {skinPath, imagePath}) {
        if (isSameFile(input, outputPath)) {
            reportFailure(outputPath, "is an input; Lumen never writes over its input");
            return 1;
        }
    }
    SkinView& skin = load.skin.value();
    const std::vector<prc::ResourceEntry>& entries = skin.table.entries;
    std::size_t found = entries.size();
    for (std::size_t k = 0; k < entries.size(); ++k) {
        if (!skinrules::isBitmapType(entries[k].type) || entries[k].id != id) {
            continue;
        }
        if (found != entries.size()) {
            reportFailure(skinPath, "id " + idText + " names more than one bitmap");
            return 1;
        }
        found = k;
    }
    if (found == entries.size()) {
        reportFailure(skinPath, "has no bitmap of id " + idText);
        return 1;
    }
    DecodeBudget budget;
    const ResourceView view = viewResource(entries[found], budget);
    if (const std::string damage = damageOf(view); !damage.empty()) {
        reportFailure(skinPath, resourceName(view) + ": " + damage);
        return 1;
    }
    const ImageLoad image = loadImage();
    if (!image.image) {
        reportFailure(imagePath, image.error);
        return 1;
    }
    // Members of the image's size are drawn anew, each in its own format;
    // the others keep their bytes. The size is how the image finds its
    // member, so an image of a new size is refused here (build takes it).
    std::vector<std::vector<std::uint8_t>> members;
    std::size_t drawn = 0;
    std::string sizes;
    for (const palmbitmap::BitmapMember& member : view.family.members) {
        sizes += (sizes.empty() ? "" : ", ") + std::to_string(member.width) + "x" +
                 std::to_string(member.height);
        if (member.width != image.image->width || member.height != image.image->height) {
            const auto bytes = palmbitmap::memberBytes(view.bitmap, member);
            members.emplace_back(bytes.begin(), bytes.end());
            continue;
        }
        palmbitmap::EncodedMember encoded = encodeMember(*image.image, settingsOf(member));
        if (!encoded.error.empty()) {
            reportFailure(imagePath, encoded.error);
            return 1;
        }
        members.push_back(std::move(encoded.bytes));
        ++drawn;
    }
    if (drawn == 0) {
        reportFailure(imagePath, "its " + std::to_string(image.image->width) + "x" +
                                     std::to_string(image.image->height) +
                                     " pixels match no member of " + resourceName(view) + " (" +
                                     sizes + "); a new size is for export and build");
        return 1;
    }
    palmbitmap::EncodedFamily family = palmbitmap::chainBitmapFamily(members);
    if (!family.error.empty()) {
        reportFailure(imagePath, family.error);
        return 1;
    }
    skin.table.entries[found].data = std::move(family.bytes);
    const std::optional<std::size_t> written =
        writeSkin(outputPath, skin.table.header, skin.table.entries, "skin", skin.table.layout);
    if (!written) {
        return 1;
    }
    std::printf("%s: %s: %zu of %zu members drawn anew from %s, %zu bytes written to %s\n",
                shownPath(skinPath).c_str(), resourceName(view).c_str(), drawn,
                view.family.members.size(), shownPath(imagePath).c_str(), *written,
                shownPath(outputPath).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
