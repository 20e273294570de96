#include "skin_view.h"

#include <algorithm>

#include "compressed_bitmap.h"
#include "file_access.h"
#include "file_reading.h"
#include "shown_text.h"
#include "skin_rules.h"

namespace lumen {

ResourceView viewResource(const prc::ResourceEntry& entry, DecodeBudget& budget) {
    ResourceView view;
    view.entry = &entry;
    if (!skinrules::isBitmapType(entry.type)) {
        return view;
    }
    const bitmapcodec::ContainerInfo container = bitmapcodec::inspectContainer(entry.data);
    if (!container.isContainer) {
        view.form = StoredForm::plain;
        view.bitmap = entry.data;
    } else {
        view.form = StoredForm::container;
        view.declaredSize = container.declaredSize.value_or(0);
        if (view.declaredSize > kMaxContainerBytes) {
            view.containerError = "declares " + std::to_string(view.declaredSize) +
                                  " bytes, more than a bitmap may hold (" +
                                  std::to_string(kMaxContainerBytes) + ")";
            return view;
        }
        if (view.declaredSize > budget.bytesLeft) {
            budget.bytesLeft = 0;
            view.containerError = "not decoded: the file's bitmaps pass the budget of " +
                                  std::to_string(kDecodeBudget >> 20) + " MB";
            return view;
        }
        bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(entry.data);
        if (decoded.error != nullptr) {
            view.containerError = decoded.error;
            return view;
        }
        view.bitmap = std::move(decoded.bytes);
        budget.bytesLeft -= view.bitmap.size();
    }
    view.family = palmbitmap::decodePalmBitmap(view.bitmap, budget.bytesLeft);
    budget.bytesLeft =
        view.family.budgetSpent ? 0 : budget.bytesLeft - palmbitmap::decodedImageBytes(view.family);
    return view;
}

std::string damageOf(const ResourceView& view) {
    if (view.form == StoredForm::notBitmap) {
        return {};
    }
    if (!view.containerError.empty()) {
        return "container: " + view.containerError;
    }
    const palmbitmap::BitmapFamily& family = view.family;
    std::string damage;
    for (std::size_t k = 0; k < family.members.size(); ++k) {
        if (!family.members[k].error.empty()) {
            damage += damage.empty() ? "" : "; ";
            if (family.members.size() > 1) {
                damage += "member " + std::to_string(k + 1) + ": ";
            }
            damage += family.members[k].error;
        }
    }
    if (!family.error.empty()) {
        damage += (damage.empty() ? "" : "; ") + family.error;
    } else if (family.members.empty()) {
        damage += "no bitmap in the family";
    }
    return damage;
}

SkinLoad loadSkin(const std::string& path) {
    SkinLoad load;
    prc::FileContents contents = prc::readWholeFile(path, prc::kMaxDatabaseFileSize);
    if (contents.status != prc::FileReadStatus::ok) {
        load.error = readFailure(contents.status, kDatabaseLimit);
        return load;
    }
    prc::DatabaseParse parse = prc::parseResourceDatabase(contents.bytes);
    if (!parse.table) {
        load.error = std::string("not a resource database: ") + parse.error;
        return load;
    }
    SkinView& skin = load.skin.emplace();
    skin.fileSize = contents.bytes.size();
    skin.table = std::move(*parse.table);
    return load;
}

std::string printable(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t k = 0; k < size; ++k) {
        const std::uint8_t c = bytes[k];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            text += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return text;
}

std::string databaseNameText(const prc::DatabaseHeader& header) {
    const auto end = std::find(header.name.begin(), header.name.end(), std::uint8_t{0});
    return handheldText(std::span(header.name.begin(), end));
}

}  // namespace lumen
