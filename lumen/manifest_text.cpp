#include "manifest_text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "manifest_words.h"
#include "windows_1252.h"

namespace lumen {
namespace {

// A TOML basic string: quotes, backslashes and control characters escaped;
// everything else (UTF-8 included) as it is.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            out += c == '\t' ? "\\t" : c == '\n' ? "\\n" : "\\r";
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[7];
            std::snprintf(escape, sizeof escape, "\\u%04X", byte);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string hex16(std::uint16_t value) {
    char text[7];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// The keys of what differs from Palm OS's layout, none when nothing does.
std::string layoutText(const Manifest& manifest) {
    std::string text;
    const prc::FileLayout& layout = manifest.layout;
    if (!manifest.gapFile.name.empty()) {
        text += "gap = " + quoted(manifest.gapFile.name) + "\n";
    } else if (layout.gap != prc::palmLayout().gap) {
        text += "gap = " + std::to_string(layout.gap.size()) + "\n";
    }
    const std::pair<const LayoutFile&, const char*> blocks[] = {{manifest.appInfo, "appInfo"},
                                                                {manifest.sortInfo, "sortInfo"}};
    const std::uint32_t ids[] = {manifest.header.appInfoID, manifest.header.sortInfoID};
    for (std::size_t k = 0; k < 2; ++k) {
        if (!blocks[k].first.name.empty()) {
            text += std::string(blocks[k].second) + " = " + quoted(blocks[k].first.name) + "\n";
        } else if (ids[k] != 0) {
            text += std::string(blocks[k].second) + "Id = " + hex32(ids[k]) + "\n";
        }
    }
    if (!layout.dataOrder.empty()) {
        text += "dataOrder = [";
        for (std::size_t k = 0; k < layout.dataOrder.size(); ++k) {
            text += (k == 0 ? "" : ", ") + std::to_string(layout.dataOrder[k] + 1);
        }
        text += "]\n";
    }
    return text;
}

}  // namespace

std::string manifestText(const Manifest& manifest) {
    const prc::DatabaseHeader& h = manifest.header;
    std::string text =
        "# What Lumen build makes a skin of. Change an image and build: only that\n"
        "# bitmap is drawn anew. Every key, its values and its default: THE MANIFEST\n"
        "# in Lumen's manual (man Lumen; on Windows Lumen.txt, beside Lumen.exe).\n\n"
        "[database]\n";
    const auto nameEnd = std::find(h.name.begin(), h.name.end(), std::uint8_t{0});
    // A name of all 32 bytes has no NUL to end it: only nameBytes holds it.
    const bool plainName =
        nameEnd != h.name.begin() && nameEnd != h.name.end() &&
        std::all_of(nameEnd, h.name.end(), [](std::uint8_t c) { return c == 0; }) &&
        std::all_of(h.name.begin(), nameEnd,
                    [](std::uint8_t c) { return isPlainCodeCharacter(static_cast<char>(c)); });
    if (plainName) {
        text += "name = \"" + std::string(h.name.begin(), nameEnd) + "\"\n";
    } else {
        text += "nameBytes = \"";
        for (const std::uint8_t c : h.name) {
            char pair[3];
            std::snprintf(pair, sizeof pair, "%02x", c);
            text += pair;
        }
        text += "\"\n";
    }
    text += "type = " + codeText(h.type) + "\ncreator = " + codeText(h.creator) +
            "\nattributes = " + hex16(h.attributes) + "\nversion = " + std::to_string(h.version) +
            "\ncreated = " + hex32(h.creationDate) + "\nmodified = " + hex32(h.modificationDate) +
            "\nbackedUp = " + hex32(h.lastBackupDate) +
            "\nmodificationNumber = " + std::to_string(h.modificationNumber) +
            "\nuniqueIdSeed = " + std::to_string(h.uniqueIDSeed) + "\n" + layoutText(manifest);
    for (const ManifestResource& resource : manifest.resources) {
        text += "\n[[resource]]\ntype = " + codeText(resource.type) +
                "\nid = " + std::to_string(resource.id) + "\n";
        if (!resource.file.empty()) {
            text += "file = " + quoted(resource.file) + "\n";
        }
        if (resource.text) {
            const std::string utf8 = palmtext::utf8OfWindows1252(*resource.text);
            text += "text = " + quoted(utf8) + "\n";
        }
        if (!resource.original.empty()) {
            text += "original = " + quoted(resource.original) + "\n";
        }
        for (const ManifestMember& member : resource.members) {
            const palmbitmap::MemberFormat& f = member.settings.format;
            text += "[[resource.member]]\nimage = " + quoted(member.image) +
                    "\ndepth = " + std::to_string(f.depth) +
                    "\nversion = " + std::to_string(f.version) +
                    "\ndensity = " + std::to_string(f.density) + "\ncompression = \"" +
                    (f.compression ? compressionKeyword(*f.compression) : "best") + "\"\n";
            if (!member.digest.empty()) {
                text += "digest = " + quoted(member.digest) + "\n";
            }
        }
    }
    return text;
}

}  // namespace lumen
