#include <cstdio>

#include "bitmap_text.h"
#include "commands.h"
#include "shown_text.h"
#include "skin_rules.h"
#include "skin_view.h"
#include "text_table.h"

namespace lumen {
namespace {

std::string attributesText(std::uint16_t attributes) {
    static constexpr const char* kNames[16] = {"resource",        "read-only",
                                               "app info dirty",  "backup",
                                               "install newer",   "reset after install",
                                               "copy prevention", "stream",
                                               "hidden",          "launchable data",
                                               "recyclable",      "bundle",
                                               nullptr,           nullptr,
                                               nullptr,           "open"};
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04x", attributes);
    std::string names;
    for (int bit = 0; bit < 16; ++bit) {
        if ((attributes & (1u << bit)) != 0) {
            names += names.empty() ? "" : ", ";
            names += kNames[bit] != nullptr ? kNames[bit] : "bit " + std::to_string(bit);
        }
    }
    return names.empty() ? hex : std::string(hex) + " (" + names + ")";
}

std::string tesselText(const ResourceView& view) {
    const prc::ResourceEntry& entry = *view.entry;
    switch (skinrules::tesselActionFor(entry.type, entry.id, entry.data)) {
        case skinrules::TesselAction::none:
            return "";
        case skinrules::TesselAction::compress:
            return "compress";
        case skinrules::TesselAction::keepRaw:
            return "keep raw";
        case skinrules::TesselAction::asIs:
            return "as is";
    }
    return "";
}

void addRows(const ResourceView& view, TextTable& table) {
    const prc::ResourceEntry& entry = *view.entry;
    std::vector<std::string> row = {printable(entry.type.data(), entry.type.size()),
                                    std::to_string(entry.id), std::to_string(entry.data.size()),
                                    storedText(view)};
    if (view.form == StoredForm::notBitmap) {
        table.rows.push_back(row);
        return;
    }
    if (view.family.members.empty()) {
        row.insert(row.end(), 7, "");
        row.insert(row.end(), {tesselText(view), "damaged: " + damageOf(view)});
        table.rows.push_back(row);
        return;
    }
    bool first = true;
    for (const palmbitmap::BitmapMember& member : view.family.members) {
        if (!first) {
            row = {"", "", "", ""};
        }
        row.insert(row.end(), {std::to_string(member.width) + "x" + std::to_string(member.height),
                               std::to_string(member.depth), std::to_string(member.version),
                               member.version >= 3 ? std::to_string(member.density) : "",
                               compressionLabel(member.compression), colorsText(member),
                               transparencyText(member), first ? tesselText(view) : "",
                               member.error.empty() ? "" : "damaged: " + member.error});
        table.rows.push_back(row);
        first = false;
    }
    if (!view.family.error.empty()) {
        row.assign(12, "");
        row.push_back("damaged: " + view.family.error);
        table.rows.push_back(row);
    }
}

}  // namespace

int listSkin(const std::string& path) {
    const SkinLoad load = loadSkin(path);
    if (!load.skin) {
        reportFailure(path, load.error);
        return 1;
    }
    const SkinView& skin = *load.skin;
    const prc::DatabaseHeader& header = skin.table.header;
    TextTable about;
    about.headings = {"file", shownPath(path)};
    about.rows = {
        {"name", databaseNameText(header)},
        {"type", printable(header.type.data(), header.type.size())},
        {"creator", printable(header.creator.data(), header.creator.size())},
        {"attributes", attributesText(header.attributes)},
        {"version", std::to_string(header.version)},
        {"resources", std::to_string(skin.table.entries.size())},
        {"file size", std::to_string(skin.fileSize) + " bytes"},
    };
    TextTable resources;
    resources.headings = {"type",         "id",      "size",    "stored",      "pixels",
                          "depth",        "version", "density", "compression", "colours",
                          "transparency", "Tessel",  "notes"};
    resources.rightAligned = {false, true, true, false, false, true, true, true};
    DecodeBudget budget;
    for (const prc::ResourceEntry& entry : skin.table.entries) {
        addRows(viewResource(entry, budget), resources);
    }
    std::fputs((formatTable(about) + "\n" + formatTable(resources)).c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
