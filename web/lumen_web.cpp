// The page's entry points: each runs what the program of the same name runs,
// on files that the Worker (lumen_worker.js) puts in emscripten's in-memory
// file system, in the folder it has made current. What the programs print
// goes to the Worker's print and printErr, which keep it as text.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bitmap_text.h"
#include "checked_file.h"
#include "commands.h"
#include "recast_platform.h"
#include "recast_rules.h"
#include "skin_compression.h"
#include "skin_conversion.h"
#include "skin_rules.h"
#include "skin_view.h"

namespace {

// A long pass tells the page how far it has come (Module.lumenProgress).
EM_JS(void, reportProgress, (int done, int total, const char* what), {
    if (Module["lumenProgress"]) {
        Module["lumenProgress"](done, total, UTF8ToString(what));
    }
});

std::string jsonText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string field(const char* name, const std::string& json) {
    return jsonText(name) + ":" + json;
}

std::string number(std::uint64_t value) {
    return std::to_string(value);
}

std::string headerJson(const lumen::SkinView& skin) {
    const prc::DatabaseHeader& h = skin.table.header;
    return "{" + field("name", jsonText(lumen::databaseNameText(h))) + "," +
           field("type", jsonText(lumen::printable(h.type.data(), h.type.size()))) + "," +
           field("creator", jsonText(lumen::printable(h.creator.data(), h.creator.size()))) + "," +
           field("version", number(h.version)) + "," + field("attributes", number(h.attributes)) +
           "," + field("creationDate", number(h.creationDate)) + "," +
           field("modificationDate", number(h.modificationDate)) + "," +
           field("lastBackupDate", number(h.lastBackupDate)) + "," +
           field("modificationNumber", number(h.modificationNumber)) + "," +
           field("resources", number(skin.table.entries.size())) + "," +
           field("fileSize", number(skin.fileSize)) + "}";
}

std::string memberJson(const palmbitmap::BitmapMember& member, std::size_t index) {
    return "{" + field("index", number(index)) + "," + field("width", number(member.width)) + "," +
           field("height", number(member.height)) + "," + field("depth", number(member.depth)) +
           "," + field("density", number(member.density)) + "," +
           field("version", number(member.version)) + "," +
           field("compression", jsonText(lumen::compressionLabel(member.compression))) + "," +
           field("colors", jsonText(lumen::colorsText(member))) + "," +
           field("transparent", member.transparent ? "true" : "false") + "," +
           field("transparency", jsonText(lumen::transparencyText(member))) + "," +
           field("error", jsonText(member.error)) + "}";
}

// The text handed back to the Worker stays until the next call.
const char* handedBack(std::string text) {
    static std::string kept;
    kept = std::move(text);
    return kept.c_str();
}

bool writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// What a fresh Recast process starts with; a conversion changes it.
const char* const kFirstReadFailure = recast::readFailureMessage;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE int lumenWebTessel(const char* input, const char* output) {
    return tessel::compressSkinDatabase(input, output,
                                        [](std::size_t done, std::size_t total) {
                                            reportProgress(static_cast<int>(done),
                                                           static_cast<int>(total), "compress");
                                        })
               ? 0
               : 1;
}

EMSCRIPTEN_KEEPALIVE int lumenWebList(const char* skin) {
    return lumen::listSkin(skin);
}

EMSCRIPTEN_KEEPALIVE int lumenWebCheck(const char* skin) {
    return lumen::checkSkins({skin});
}

EMSCRIPTEN_KEEPALIVE int lumenWebUnpack(const char* skin, const char* output) {
    return lumen::unpackSkin(skin, output);
}

// rgba: width × height pixels as the browser decoded the image, without
// colour management; imageName names it in messages, as the PNG's path does.
EMSCRIPTEN_KEEPALIVE int lumenWebReplace(const char* skin, const char* id, const char* imageName,
                                         int width, int height, const std::uint8_t* rgba,
                                         const char* output) {
    const auto bytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
    return lumen::replaceBitmapFrom(skin, id, imageName, output, [&] {
        return lumen::ImageLoad{palmbitmap::Image{width, height, {rgba, rgba + bytes}}, ""};
    });
}

// Recast on the file where it lies, as the program runs; a failure ends in
// fatalError's exit, which the Worker catches. Returns what the program
// returns on success.
EMSCRIPTEN_KEEPALIVE int lumenWebConvert(const char* skin) {
    recast::readFailureMessage = kFirstReadFailure;
    return recast::convertSkinFile(skin);
}

// The skin as the page shows it: its header, and each bitmap with its
// members, decoded within Lumen's budget. Each member's pixels go to
// <pixelFolder>/<resource>-<member>.rgba. Returns JSON, or "" when the skin
// cannot be read (the reason on standard error, as Lumen reports it).
EMSCRIPTEN_KEEPALIVE const char* lumenWebDescribe(const char* skin, const char* pixelFolder) {
    lumen::SkinLoad load = lumen::loadSkin(skin);
    if (!load.skin) {
        lumen::reportFailure(skin, load.error);
        return handedBack("");
    }
    const std::vector<prc::ResourceEntry>& entries = load.skin->table.entries;
    const auto total = static_cast<std::size_t>(std::count_if(
        entries.begin(), entries.end(),
        [](const prc::ResourceEntry& entry) { return skinrules::isBitmapType(entry.type); }));
    std::string bitmaps;
    std::size_t done = 0;
    lumen::DecodeBudget budget;
    for (std::size_t r = 0; r < entries.size(); ++r) {
        lumen::ResourceView view = lumen::viewResource(entries[r], budget);
        if (view.form == lumen::StoredForm::notBitmap) {
            continue;
        }
        std::string members;
        for (std::size_t k = 0; k < view.family.members.size(); ++k) {
            const palmbitmap::BitmapMember& member = view.family.members[k];
            if (member.error.empty()) {
                writeBytes(std::string(pixelFolder) + "/" + std::to_string(r) + "-" +
                               std::to_string(k) + ".rgba",
                           member.image.rgba);
            }
            members += (members.empty() ? "" : ",") + memberJson(member, k);
        }
        bitmaps +=
            std::string(bitmaps.empty() ? "" : ",") + "{" +
            field("type",
                  jsonText(lumen::printable(view.entry->type.data(), view.entry->type.size()))) +
            "," + field("id", number(view.entry->id)) + "," + field("resource", number(r)) + "," +
            field("name", jsonText(lumen::resourceName(view))) + "," +
            field("stored", jsonText(lumen::storedText(view))) + "," +
            field("damage", jsonText(lumen::damageOf(view))) + "," +
            field("members", "[" + members + "]") + "}";
        reportProgress(static_cast<int>(++done), static_cast<int>(total),
                       lumen::resourceName(view).c_str());
    }
    return handedBack("{" + field("header", headerJson(*load.skin)) + "," +
                      field("bitmaps", "[" + bitmaps + "]") + "}");
}

}  // extern "C"
