#include "bitmap_text.h"

#include <cstdio>

namespace lumen {

std::string compressionLabel(palmbitmap::Compression compression) {
    switch (compression) {
        case palmbitmap::Compression::none:
            return "none";
        case palmbitmap::Compression::scanLine:
            return "scan line";
        case palmbitmap::Compression::rle:
            return "RLE";
        case palmbitmap::Compression::packBits:
            return "PackBits";
    }
    return "?";
}

std::string colorsText(const palmbitmap::BitmapMember& member) {
    if (member.directColor) {
        return "direct 5-6-5";
    }
    if (member.colorTableEntries > 0) {
        return "table of " + std::to_string(member.colorTableEntries);
    }
    return member.depth == 8 ? "system palette" : "greys";
}

std::string transparencyText(const palmbitmap::BitmapMember& member) {
    if (!member.transparent) {
        return "-";
    }
    if (!member.directColor) {
        return "index " + std::to_string(member.transparentIndex);
    }
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", member.transparentColor.red,
                  member.transparentColor.green, member.transparentColor.blue);
    return text;
}

std::string storedText(const ResourceView& view) {
    switch (view.form) {
        case StoredForm::notBitmap:
            return "";
        case StoredForm::plain:
            return "plain";
        case StoredForm::container:
            return "cBMP of " + std::to_string(view.declaredSize);
    }
    return "";
}

std::string resourceName(const ResourceView& view) {
    return printable(view.entry->type.data(), view.entry->type.size()) + " " +
           std::to_string(view.entry->id);
}

}  // namespace lumen
