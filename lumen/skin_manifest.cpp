#include "skin_manifest.h"

#include <toml++/toml.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "manifest_keys.h"
#include "manifest_paths.h"
#include "manifest_syntax.h"
#include "manifest_words.h"
#include "shown_text.h"
#include "toml_ascii.h"
#include "utf8.h"
#include "windows_1252.h"

namespace lumen {
namespace {

// What went wrong, and where; empty `what` means nothing did.
struct Problem {
    int line = 0;
    std::string key;
    std::string what;
    explicit operator bool() const { return !what.empty(); }
};

int lineOf(const toml::node& node) {
    return static_cast<int>(node.source().begin.line);
}

Problem problem(const toml::node& node, std::string key, std::string what) {
    return {lineOf(node), std::move(key), std::move(what)};
}

// Every key the reader asks for is in the table of keys (manifest_keys.cpp).
const ManifestKey& keyOf(std::string_view table, std::string_view name) {
    return *manifestKey(table, name);
}

std::string pathOf(const ManifestKey& key) {
    return key.table.empty() ? std::string(key.name)
                             : std::string(key.table) + "." + std::string(key.name);
}

// A value as a message names it.
std::string given(const toml::node& node) {
    if (const auto* text = node.as_string()) {
        return "the text \"" + shownPath(text->get()) + "\"";
    }
    if (const auto* number = node.as_integer()) {
        return std::to_string(number->get());
    }
    if (const auto* truth = node.as_boolean()) {
        return truth->get() ? "true" : "false";
    }
    if (node.is_floating_point()) {
        return "a number with a fraction";
    }
    if (node.is_date() || node.is_time() || node.is_date_time()) {
        return "a date or time";
    }
    return node.is_array() ? "a list" : "a table";
}

// A number in quotes that the key would take without them: how to write it.
std::string unquotedMend(const ManifestKey& key, const toml::node& node) {
    const auto* text = node.as_string();
    if (key.high < key.low || text == nullptr) {
        return {};
    }
    const std::string& digits = text->get();
    const bool hex = digits.starts_with("0x");
    std::int64_t value = 0;
    const char* first = digits.data() + (hex ? 2 : 0);
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (first == last || error != std::errc() || end != last || !acceptsNumber(key, value)) {
        return {};
    }
    return std::string(key.name) + " = " + digits + ", without quotes";
}

// The one way a value that the key does not take is reported.
Problem wrong(const toml::node& node, const ManifestKey& key) {
    return problem(node, pathOf(key), wrongValue(key, given(node), unquotedMend(key, node)));
}

Problem missing(const toml::node& owner, const ManifestKey& key) {
    return problem(owner, pathOf(key), missingValue(key));
}

Problem unknownKeys(const toml::table& table, std::string_view section) {
    for (auto&& [key, node] : table) {
        if (manifestKey(section, key.str()) == nullptr) {
            const std::string path =
                (section.empty() ? "" : std::string(section) + ".") + std::string(key.str());
            return problem(node, path, unknownKey(section, key.str()));
        }
    }
    return {};
}

// A whole number the key takes, when present.
Problem readNumber(const toml::table& table, const ManifestKey& key,
                   std::optional<std::int64_t>& out) {
    const toml::node* node = table.get(key.name);
    if (node == nullptr) {
        return {};
    }
    const std::optional<std::int64_t> value = node->value_exact<std::int64_t>();
    if (!value || !acceptsNumber(key, *value)) {
        return wrong(*node, key);
    }
    out = value;
    return {};
}

Problem readText(const toml::table& table, const ManifestKey& key,
                 std::optional<std::string>& out) {
    const toml::node* node = table.get(key.name);
    if (node == nullptr) {
        return {};
    }
    if (!node->is_string()) {
        return wrong(*node, key);
    }
    out = node->as_string()->get();
    return {};
}

// A name of a file in the manifest's folder, when present.
Problem readFileName(const toml::table& table, const ManifestKey& key,
                     std::optional<std::string>& out) {
    if (Problem p = readText(table, key, out)) {
        return p;
    }
    const std::string why = out ? manifestNameProblem(*out) : std::string();
    if (!why.empty()) {
        return problem(*table.get(key.name), pathOf(key), shownPath(*out) + ": " + why);
    }
    return {};
}

// Four characters of printable ASCII, or the code as a number (0x72737263).
Problem readCode(const toml::table& table, const ManifestKey& key, const toml::node& owner,
                 prc::TypeCode& out) {
    const toml::node* node = table.get(key.name);
    if (node == nullptr) {
        return missing(owner, key);
    }
    if (const auto text = node->value_exact<std::string>()) {
        if (text->size() != 4 || !std::all_of(text->begin(), text->end(), isPlainCodeCharacter)) {
            return wrong(*node, key);
        }
        std::copy(text->begin(), text->end(), out.begin());
        return {};
    }
    std::optional<std::int64_t> number;
    if (Problem p = readNumber(table, key, number)) {
        return p;
    }
    for (int k = 0; k < 4; ++k) {
        out[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(*number >> (24 - 8 * k));
    }
    return {};
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

Problem readName(const toml::table& table, const toml::node& owner, prc::DatabaseName& name) {
    std::optional<std::string> text;
    std::optional<std::string> bytes;
    const ManifestKey& nameKey = keyOf("database", "name");
    const ManifestKey& bytesKey = keyOf("database", "nameBytes");
    if (Problem p = readText(table, nameKey, text)) {
        return p;
    }
    if (Problem p = readText(table, bytesKey, bytes)) {
        return p;
    }
    if (bytes) {
        // All 32 bytes as hex, for names that are not plain text.
        const toml::node& node = *table.get("nameBytes");
        if (bytes->size() != 64 ||
            !std::all_of(bytes->begin(), bytes->end(), [](char c) { return hexDigit(c) >= 0; })) {
            return wrong(node, bytesKey);
        }
        for (std::size_t k = 0; k < name.size(); ++k) {
            name[k] = static_cast<std::uint8_t>(hexDigit((*bytes)[2 * k]) * 16 +
                                                hexDigit((*bytes)[2 * k + 1]));
        }
        return {};
    }
    if (!text) {
        return missing(owner, nameKey);
    }
    // Stored in the handheld's character set, the one Lumen shows names in
    // and Recast writes them in.
    std::vector<std::uint8_t> latin;
    for (std::string_view rest = *text; !rest.empty();) {
        char32_t character = 0;
        const std::size_t length = palmtext::decodeUtf8(rest, character);
        const std::optional<std::uint8_t> byte =
            length == 0 ? std::nullopt : palmtext::unicodeToWindows1252(character);
        if (!byte) {
            return problem(
                *table.get("name"), pathOf(nameKey),
                "has a character the handheld cannot show, " +
                    shownPath(std::string(rest.substr(0, std::max<std::size_t>(length, 1)))) +
                    "; write it with the characters of Windows-1252, or give the "
                    "bytes as nameBytes");
        }
        latin.push_back(*byte);
        rest.remove_prefix(length);
    }
    if (latin.empty() || latin.size() > 31 ||
        std::find(latin.begin(), latin.end(), 0) != latin.end()) {
        return wrong(*table.get("name"), nameKey);
    }
    name.fill(0);
    std::copy(latin.begin(), latin.end(), name.begin());
    return {};
}

// A file that holds some of the database's bytes, when named.
Problem readLayoutFile(const toml::table& table, const char* key, LayoutFile& file) {
    std::optional<std::string> name;
    if (Problem p = readFileName(table, keyOf("database", key), name)) {
        return p;
    }
    if (name) {
        if (name->empty()) {
            return problem(*table.get(key), std::string("database.") + key, "is an empty name");
        }
        file = {*name, lineOf(*table.get(key))};
    }
    return {};
}

// What differs from Palm OS's layout (prc::palmLayout()). The data order's
// places are checked once the resources are counted.
Problem readLayout(const toml::table& table, Manifest& manifest,
                   std::vector<std::int64_t>& dataOrder) {
    if (const toml::node* gap = table.get("gap"); gap != nullptr && gap->is_string()) {
        manifest.layout.gap.clear();
        if (Problem p = readLayoutFile(table, "gap", manifest.gapFile)) {
            return p;
        }
    } else {
        std::optional<std::int64_t> zeros;
        if (Problem p = readNumber(table, keyOf("database", "gap"), zeros)) {
            return p;
        }
        if (zeros) {
            manifest.layout.gap.assign(static_cast<std::size_t>(*zeros), 0);
        }
    }
    // A block is a file whose place build chooses, or its ID a number as it is.
    struct Block {
        const char* key;
        const char* idKey;
        LayoutFile& file;
        std::uint32_t& id;
    };
    const Block blocks[] = {
        {"appInfo", "appInfoId", manifest.appInfo, manifest.header.appInfoID},
        {"sortInfo", "sortInfoId", manifest.sortInfo, manifest.header.sortInfoID},
    };
    for (const Block& block : blocks) {
        if (Problem p = readLayoutFile(table, block.key, block.file)) {
            return p;
        }
        std::optional<std::int64_t> number;
        if (Problem p = readNumber(table, keyOf("database", block.idKey), number)) {
            return p;
        }
        if (number && !block.file.name.empty()) {
            return problem(*table.get(block.idKey), std::string("database.") + block.idKey,
                           std::string("give either ") + block.key +
                               " (the block, which build places) or " + block.idKey +
                               " (the header's number as it is), not both");
        }
        block.id = static_cast<std::uint32_t>(number.value_or(0));
    }
    if (const toml::node* order = table.get("dataOrder")) {
        manifest.dataOrderLine = lineOf(*order);
        const toml::array* places = order->as_array();
        if (places == nullptr) {
            return wrong(*order, keyOf("database", "dataOrder"));
        }
        for (const toml::node& place : *places) {
            dataOrder.push_back(place.value_exact<std::int64_t>().value_or(0));
        }
    }
    return {};
}

// Each resource once, by its place among the [[resource]] tables from 1.
Problem checkDataOrder(const std::vector<std::int64_t>& places, Manifest& manifest) {
    const std::size_t count = manifest.resources.size();
    std::vector<bool> named(count, false);
    bool each = places.size() == count;
    for (const std::int64_t place : places) {
        const auto index = static_cast<std::size_t>(place - 1);
        each = each && place >= 1 && index < count && !named[index];
        if (each) {
            named[index] = true;
            manifest.layout.dataOrder.push_back(index);
        }
    }
    if (!each) {
        manifest.layout.dataOrder.clear();
        return {manifest.dataOrderLine, "database.dataOrder",
                "must name each of the " + std::to_string(count) +
                    " resources once, by its place among the [[resource]] tables (1 to " +
                    std::to_string(count) + ")"};
    }
    return {};
}

Problem readDatabase(const toml::table& root, std::uint32_t now, Manifest& manifest,
                     std::vector<std::int64_t>& dataOrder) {
    const toml::node* node = root.get("database");
    if (node == nullptr) {
        return {1, "database", missingValue(keyOf("", "database"))};
    }
    if (!node->is_table()) {
        return wrong(*node, keyOf("", "database"));
    }
    const toml::table& table = *node->as_table();
    if (Problem p = unknownKeys(table, "database")) {
        return p;
    }
    if (Problem p = readLayout(table, manifest, dataOrder)) {
        return p;
    }
    prc::DatabaseHeader& header = manifest.header;
    if (Problem p = readName(table, *node, header.name)) {
        return p;
    }
    if (Problem p = readCode(table, keyOf("database", "type"), *node, header.type)) {
        return p;
    }
    if (Problem p = readCode(table, keyOf("database", "creator"), *node, header.creator)) {
        return p;
    }
    // What a new database of resources has: the resource flag, version 1,
    // made and changed now, never backed up.
    // The table of keys gives each field the range of its bytes.
    const auto field = [&table](const char* key, std::int64_t fallback, auto& out) -> Problem {
        using Field = std::remove_reference_t<decltype(out)>;
        std::optional<std::int64_t> value;
        if (Problem p = readNumber(table, keyOf("database", key), value)) {
            return p;
        }
        out = static_cast<Field>(value.value_or(fallback));
        return {};
    };
    if (Problem p = field("attributes", 0x0001, header.attributes)) {
        return p;
    }
    if (Problem p = field("version", 1, header.version)) {
        return p;
    }
    if (Problem p = field("created", now, header.creationDate)) {
        return p;
    }
    if (Problem p = field("modified", now, header.modificationDate)) {
        return p;
    }
    if (Problem p = field("backedUp", 0, header.lastBackupDate)) {
        return p;
    }
    if (Problem p = field("modificationNumber", 1, header.modificationNumber)) {
        return p;
    }
    return field("uniqueIdSeed", 0, header.uniqueIDSeed);
}

// The member's key that holds a setting of its format.
const char* settingKey(palmbitmap::FormatSetting setting) {
    switch (setting) {
        case palmbitmap::FormatSetting::version:
            return "version";
        case palmbitmap::FormatSetting::depth:
            return "depth";
        case palmbitmap::FormatSetting::density:
            return "density";
        case palmbitmap::FormatSetting::compression:
            return "compression";
        case palmbitmap::FormatSetting::transparency:
            return "transparent";
        case palmbitmap::FormatSetting::colorTable:
            return "colours";
    }
    return "version";
}

Problem readMember(const toml::node& node, ManifestMember& member) {
    const auto key = [](const char* name) -> const ManifestKey& {
        return keyOf("resource.member", name);
    };
    if (!node.is_table()) {
        return wrong(node, keyOf("resource", "member"));
    }
    const toml::table& table = *node.as_table();
    member.line = lineOf(node);
    if (Problem p = unknownKeys(table, "resource.member")) {
        return p;
    }
    std::optional<std::string> image;
    if (Problem p = readFileName(table, key("image"), image)) {
        return p;
    }
    if (!image || image->empty()) {
        return missing(node, key("image"));
    }
    member.image = *image;
    std::optional<std::int64_t> depth;
    std::optional<std::int64_t> density;
    std::optional<std::int64_t> version;
    if (Problem p = readNumber(table, key("depth"), depth)) {
        return p;
    }
    if (!depth) {
        return missing(node, key("depth"));
    }
    if (Problem p = readNumber(table, key("density"), density)) {
        return p;
    }
    if (Problem p = readNumber(table, key("version"), version)) {
        return p;
    }
    palmbitmap::MemberFormat& format = member.settings.format;
    format.depth = static_cast<int>(*depth);
    format.density = static_cast<int>(density.value_or(palmbitmap::kLowDensity));
    format.version =
        static_cast<int>(version.value_or(format.density == palmbitmap::kLowDensity ? 2 : 3));

    std::optional<std::string> text;
    if (Problem p = readText(table, key("compression"), text)) {
        return p;
    }
    if (text) {
        format.compression = compressionOfKeyword(*text);
        if (!format.compression && *text != "best") {
            return wrong(*table.get("compression"), key("compression"));
        }
        member.compressionGiven = true;
    }
    if (const toml::node* colours = table.get("colours")) {
        // The system's colours, the image's own, or as many as the author
        // gives of them: a table of at most 2 to 2^depth entries.
        const std::int64_t most = format.depth >= 1 && format.depth <= 8 ? 1 << format.depth : 0;
        const std::optional<std::string> word = colours->value_exact<std::string>();
        const std::optional<std::int64_t> count = colours->value_exact<std::int64_t>();
        if ((!word || (*word != "system" && *word != "image")) && !count) {
            return wrong(*colours, key("colours"));
        }
        if (most == 0) {
            return problem(*colours, "resource.member.colours", "applies to depths 1 to 8");
        }
        if (count && (*count < 2 || *count > most)) {
            return problem(*colours, "resource.member.colours",
                           "must be a number from 2 to " + std::to_string(most) + " at depth " +
                               std::to_string(format.depth));
        }
        member.settings.imageColors = count || *word == "image";
        member.settings.colorLimit = count ? static_cast<std::size_t>(*count) : 0;
        member.colorsGiven = true;
    }
    if (const toml::node* dither = table.get("dither")) {
        if (!dither->is_boolean()) {
            return wrong(*dither, key("dither"));
        }
        member.settings.dither = dither->as_boolean()->get();
    }
    text.reset();
    if (Problem p = readText(table, key("transparent"), text)) {
        return p;
    }
    if (text) {
        if (text->size() != 7 || (*text)[0] != '#' ||
            !std::all_of(text->begin() + 1, text->end(), [](char c) { return hexDigit(c) >= 0; })) {
            return wrong(*table.get("transparent"), key("transparent"));
        }
        const auto channel = [&](std::size_t at) {
            return static_cast<std::uint8_t>(hexDigit((*text)[at]) * 16 +
                                             hexDigit((*text)[at + 1]));
        };
        member.settings.transparentColor = palmbitmap::Rgb{channel(1), channel(3), channel(5)};
        member.transparentGiven = true;
    }
    text.reset();
    if (Problem p = readText(table, key("digest"), text)) {
        return p;
    }
    member.digest = text.value_or("");
    // A format the handheld cannot draw is refused here, with its line.
    if (const palmbitmap::FormatProblem wrongFormat = palmbitmap::formatProblem(format)) {
        const char* name = settingKey(wrongFormat.setting);
        return problem(table.get(name) != nullptr ? *table.get(name) : node,
                       std::string("resource.member.") + name, wrongFormat.what);
    }
    return {};
}

// A character named in a message: its number, and the character itself
// unless it could hide or turn the line around (marks that combine, spaces
// and controls of layout, private and unassigned ranges).
std::string characterName(char32_t character) {
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(character));
    const bool shown = character >= 0xA1 && !(character >= 0x0300 && character <= 0x036F) &&
                       !(character >= 0x2000 && character <= 0x206F) &&
                       !(character >= 0xD800 && character <= 0xF8FF) &&
                       !(character >= 0xFE00 && character <= 0xFE0F) && character < 0xFEFF;
    if (!shown) {
        return number;
    }
    std::string text = "\"";
    palmtext::appendUtf8(character, text);
    return text + "\" (" + number + ")";
}

// A string resource's text: Windows-1252, which build closes with a NUL.
Problem readResourceText(const toml::table& table, ManifestResource& resource) {
    std::optional<std::string> text;
    if (Problem p = readText(table, keyOf("resource", "text"), text)) {
        return p;
    }
    if (!text) {
        return {};
    }
    palmtext::TextBytes bytes = palmtext::windows1252OfUtf8(*text);
    if (bytes.refused) {
        const char32_t c = *bytes.refused;
        std::string what;
        if (c == 0) {
            what = "holds a NUL (\\u0000); build closes the text with one itself";
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            what = "holds the control character " + characterName(c) +
                   "; of those a text may hold a tab, a newline or a carriage return only";
        } else {
            what = "holds " + characterName(c) +
                   ", which the handheld's character set (Windows-1252) does not have";
        }
        return problem(*table.get("text"), "resource.text", what);
    }
    resource.text = std::move(bytes.bytes);
    return {};
}

Problem readResource(const toml::node& node, ManifestResource& resource) {
    const auto key = [](const char* name) -> const ManifestKey& { return keyOf("resource", name); };
    if (!node.is_table()) {
        return wrong(node, keyOf("", "resource"));
    }
    const toml::table& table = *node.as_table();
    resource.line = lineOf(node);
    if (Problem p = unknownKeys(table, "resource")) {
        return p;
    }
    if (Problem p = readCode(table, key("type"), node, resource.type)) {
        return p;
    }
    std::optional<std::int64_t> id;
    if (Problem p = readNumber(table, key("id"), id)) {
        return p;
    }
    if (!id) {
        return missing(node, key("id"));
    }
    resource.id = static_cast<std::uint16_t>(*id);
    std::optional<std::string> file;
    std::optional<std::string> original;
    if (Problem p = readFileName(table, key("file"), file)) {
        return p;
    }
    if (Problem p = readFileName(table, key("original"), original)) {
        return p;
    }
    resource.file = file.value_or("");
    resource.original = original.value_or("");
    if (Problem p = readResourceText(table, resource)) {
        return p;
    }
    if (const toml::node* members = table.get("member")) {
        const toml::array* array = members->as_array();
        if (array == nullptr || array->empty()) {
            return wrong(*members, key("member"));
        }
        for (const toml::node& entry : *array) {
            if (Problem p = readMember(entry, resource.members.emplace_back())) {
                return p;
            }
        }
    }
    const int given = (resource.file.empty() ? 0 : 1) + (resource.text ? 1 : 0) +
                      (resource.members.empty() ? 0 : 1);
    if (given != 1) {
        return problem(node, "resource.file",
                       "a resource takes one of a file, a text or [[resource.member]] images");
    }
    if (!resource.original.empty() && resource.members.empty()) {
        return problem(node, "resource.original", "belongs to a bitmap made of members");
    }
    return {};
}

}  // namespace

ManifestRead parseManifest(const std::string& text, std::uint32_t nowSeconds) {
    ManifestRead read;
    const AsciiToml ascii = asciiToml(text);
    if (!ascii.text) {
        read.errorLine = ascii.badLine;
        read.error = ascii.error;
        return read;
    }
    toml::parse_result parsed = toml::parse(*ascii.text);
    if (!parsed) {
        const toml::source_position at = parsed.error().source().begin;
        read.errorLine = static_cast<int>(at.line);
        read.error = syntaxMessage(*ascii.text, read.errorLine, static_cast<int>(at.column),
                                   parsed.error().description());
        return read;
    }
    const toml::table& root = parsed.table();
    Manifest manifest;
    std::vector<std::int64_t> dataOrder;
    Problem found = unknownKeys(root, "");
    if (!found) {
        found = readDatabase(root, nowSeconds, manifest, dataOrder);
    }
    if (!found) {
        const toml::node* resources = root.get("resource");
        if (resources != nullptr && !resources->is_array()) {
            found = wrong(*resources, keyOf("", "resource"));
        } else if (resources != nullptr) {
            std::map<std::pair<prc::TypeCode, std::uint16_t>, int> seen;
            for (const toml::node& node : *resources->as_array()) {
                ManifestResource& resource = manifest.resources.emplace_back();
                if ((found = readResource(node, resource))) {
                    break;
                }
                const auto [at, fresh] =
                    seen.emplace(std::pair{resource.type, resource.id}, resource.line);
                if (!fresh) {
                    found = {resource.line, "resource.id",
                             "a second resource " + codeText(resource.type) + " " +
                                 std::to_string(resource.id) + " (the first is at line " +
                                 std::to_string(at->second) + ")"};
                    break;
                }
            }
        }
    }
    if (!found && manifest.resources.size() > prc::kMaxResourceCount) {
        found = {1, "resource", "more resources than a database holds"};
    }
    if (!found && manifest.dataOrderLine != 0) {
        found = checkDataOrder(dataOrder, manifest);
    }
    if (found) {
        read.errorLine = found.line;
        read.error = found.key + ": " + found.what;
        return read;
    }
    read.manifest = std::move(manifest);
    return read;
}

}  // namespace lumen
