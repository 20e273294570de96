#include "skin_manifest.h"

#include <toml++/toml.h>

#include <algorithm>
#include <limits>
#include <map>
#include <set>
#include <string_view>
#include <type_traits>
#include <utility>

#include "manifest_paths.h"
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

Problem unknownKeys(const toml::table& table, const std::string& section,
                    const std::set<std::string>& known) {
    for (auto&& [key, node] : table) {
        if (known.count(std::string(key.str())) == 0) {
            return problem(node, section + std::string(key.str()), "unknown key");
        }
    }
    return {};
}

// An integer key within [low, high], when present.
Problem readNumber(const toml::table& table, const std::string& section, const char* key,
                   std::int64_t low, std::int64_t high, std::optional<std::int64_t>& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return {};
    }
    const std::optional<std::int64_t> value = node->value_exact<std::int64_t>();
    if (!value || *value < low || *value > high) {
        return problem(
            *node, section + key,
            "must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    out = value;
    return {};
}

Problem readText(const toml::table& table, const std::string& section, const char* key,
                 std::optional<std::string>& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return {};
    }
    if (!node->is_string()) {
        return problem(*node, section + key, "must be text in quotes");
    }
    out = node->as_string()->get();
    return {};
}

// A name of a file in the manifest's folder, when present.
Problem readFileName(const toml::table& table, const std::string& section, const char* key,
                     std::optional<std::string>& out) {
    if (Problem p = readText(table, section, key, out)) {
        return p;
    }
    const std::string why = out ? manifestNameProblem(*out) : std::string();
    if (!why.empty()) {
        return problem(*table.get(key), section + key, shownPath(*out) + ": " + why);
    }
    return {};
}

// Four characters of printable ASCII, or the code as a number (0x72737263).
Problem readCode(const toml::table& table, const std::string& section, const char* key,
                 bool required, const toml::node& owner, prc::TypeCode& out) {
    const toml::node* node = table.get(key);
    if (node == nullptr) {
        return required ? problem(owner, section + key, "is missing") : Problem{};
    }
    if (const auto text = node->value_exact<std::string>()) {
        if (text->size() != 4 || !std::all_of(text->begin(), text->end(), isPlainCodeCharacter)) {
            return problem(*node, section + key, "must be four characters of plain ASCII");
        }
        std::copy(text->begin(), text->end(), out.begin());
        return {};
    }
    std::optional<std::int64_t> number;
    if (Problem p = readNumber(table, section, key, 0, 0xFFFFFFFF, number)) {
        p.what = "must be four characters or a number of 32 bits";
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
    if (Problem p = readText(table, "database.", "name", text)) {
        return p;
    }
    if (Problem p = readText(table, "database.", "nameBytes", bytes)) {
        return p;
    }
    if (bytes) {
        // All 32 bytes as hex, for names that are not plain text.
        const toml::node& node = *table.get("nameBytes");
        if (bytes->size() != 64 ||
            !std::all_of(bytes->begin(), bytes->end(), [](char c) { return hexDigit(c) >= 0; })) {
            return problem(node, "database.nameBytes", "must be 64 hexadecimal digits");
        }
        for (std::size_t k = 0; k < name.size(); ++k) {
            name[k] = static_cast<std::uint8_t>(hexDigit((*bytes)[2 * k]) * 16 +
                                                hexDigit((*bytes)[2 * k + 1]));
        }
        return {};
    }
    if (!text) {
        return problem(owner, "database.name", "is missing");
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
            return problem(*table.get("name"), "database.name",
                           "has a character the handheld cannot show");
        }
        latin.push_back(*byte);
        rest.remove_prefix(length);
    }
    if (latin.empty() || latin.size() > 31 ||
        std::find(latin.begin(), latin.end(), 0) != latin.end()) {
        return problem(*table.get("name"), "database.name", "must be 1 to 31 characters");
    }
    name.fill(0);
    std::copy(latin.begin(), latin.end(), name.begin());
    return {};
}

Problem readDatabase(const toml::table& root, std::uint32_t now, prc::DatabaseHeader& header) {
    const toml::node* node = root.get("database");
    if (node == nullptr || !node->is_table()) {
        return {node ? lineOf(*node) : 1, "database", "must be a [database] table"};
    }
    const toml::table& table = *node->as_table();
    if (Problem p =
            unknownKeys(table, "database.",
                        {"name", "nameBytes", "type", "creator", "attributes", "version", "created",
                         "modified", "backedUp", "modificationNumber", "uniqueIdSeed"})) {
        return p;
    }
    if (Problem p = readName(table, *node, header.name)) {
        return p;
    }
    if (Problem p = readCode(table, "database.", "type", true, *node, header.type)) {
        return p;
    }
    if (Problem p = readCode(table, "database.", "creator", true, *node, header.creator)) {
        return p;
    }
    // What a new database of resources has: the resource flag, version 1,
    // made and changed now, never backed up.
    const auto field = [&table](const char* key, std::int64_t fallback, auto& out) -> Problem {
        using Field = std::remove_reference_t<decltype(out)>;
        std::optional<std::int64_t> value;
        if (Problem p =
                readNumber(table, "database.", key, 0, std::numeric_limits<Field>::max(), value)) {
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
    const std::string section = "resource.member.";
    if (!node.is_table()) {
        return problem(node, "resource.member", "must be a [[resource.member]] table");
    }
    const toml::table& table = *node.as_table();
    member.line = lineOf(node);
    if (Problem p = unknownKeys(table, section,
                                {"image", "depth", "density", "compression", "colours", "dither",
                                 "transparent", "version", "digest"})) {
        return p;
    }
    std::optional<std::string> image;
    if (Problem p = readFileName(table, section, "image", image)) {
        return p;
    }
    if (!image || image->empty()) {
        return problem(node, section + "image", "is missing");
    }
    member.image = *image;
    std::optional<std::int64_t> depth;
    std::optional<std::int64_t> density;
    std::optional<std::int64_t> version;
    if (Problem p = readNumber(table, section, "depth", 0, 255, depth)) {
        return p;
    }
    if (!depth) {
        return problem(node, section + "depth", "is missing");
    }
    if (Problem p = readNumber(table, section, "density", 0, 0xFFFF, density)) {
        return p;
    }
    if (Problem p = readNumber(table, section, "version", 0, 255, version)) {
        return p;
    }
    palmbitmap::MemberFormat& format = member.settings.format;
    format.depth = static_cast<int>(*depth);
    format.density = static_cast<int>(density.value_or(palmbitmap::kLowDensity));
    format.version =
        static_cast<int>(version.value_or(format.density == palmbitmap::kLowDensity ? 2 : 3));

    std::optional<std::string> text;
    if (Problem p = readText(table, section, "compression", text)) {
        return p;
    }
    if (text) {
        format.compression = compressionOfKeyword(*text);
        if (!format.compression && *text != "best") {
            return problem(*table.get("compression"), section + "compression",
                           "must be \"none\", \"scanline\", \"rle\", \"packbits\" or \"best\"");
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
            return problem(*colours, section + "colours",
                           "must be \"system\", \"image\" or a number of colours");
        }
        if (most == 0) {
            return problem(*colours, section + "colours", "applies to depths 1 to 8");
        }
        if (count && (*count < 2 || *count > most)) {
            return problem(*colours, section + "colours",
                           "must be a number from 2 to " + std::to_string(most) + " at depth " +
                               std::to_string(format.depth));
        }
        member.settings.imageColors = count || *word == "image";
        member.settings.colorLimit = count ? static_cast<std::size_t>(*count) : 0;
        member.colorsGiven = true;
    }
    if (const toml::node* dither = table.get("dither")) {
        if (!dither->is_boolean()) {
            return problem(*dither, section + "dither", "must be true or false");
        }
        member.settings.dither = dither->as_boolean()->get();
    }
    text.reset();
    if (Problem p = readText(table, section, "transparent", text)) {
        return p;
    }
    if (text) {
        if (text->size() != 7 || (*text)[0] != '#' ||
            !std::all_of(text->begin() + 1, text->end(), [](char c) { return hexDigit(c) >= 0; })) {
            return problem(*table.get("transparent"), section + "transparent",
                           "must be a colour as \"#rrggbb\"");
        }
        const auto channel = [&](std::size_t at) {
            return static_cast<std::uint8_t>(hexDigit((*text)[at]) * 16 +
                                             hexDigit((*text)[at + 1]));
        };
        member.settings.transparentColor = palmbitmap::Rgb{channel(1), channel(3), channel(5)};
        member.transparentGiven = true;
    }
    text.reset();
    if (Problem p = readText(table, section, "digest", text)) {
        return p;
    }
    member.digest = text.value_or("");
    // A format the handheld cannot draw is refused here, with its line.
    if (const palmbitmap::FormatProblem wrong = palmbitmap::formatProblem(format)) {
        const char* key = settingKey(wrong.setting);
        return problem(table.get(key) != nullptr ? *table.get(key) : node, section + key,
                       wrong.what);
    }
    return {};
}

Problem readResource(const toml::node& node, ManifestResource& resource) {
    const std::string section = "resource.";
    if (!node.is_table()) {
        return problem(node, "resource", "must be a [[resource]] table");
    }
    const toml::table& table = *node.as_table();
    resource.line = lineOf(node);
    if (Problem p = unknownKeys(table, section, {"type", "id", "file", "original", "member"})) {
        return p;
    }
    if (Problem p = readCode(table, section, "type", true, node, resource.type)) {
        return p;
    }
    std::optional<std::int64_t> id;
    if (Problem p = readNumber(table, section, "id", 0, 0xFFFF, id)) {
        return p;
    }
    if (!id) {
        return problem(node, section + "id", "is missing");
    }
    resource.id = static_cast<std::uint16_t>(*id);
    std::optional<std::string> file;
    std::optional<std::string> original;
    if (Problem p = readFileName(table, section, "file", file)) {
        return p;
    }
    if (Problem p = readFileName(table, section, "original", original)) {
        return p;
    }
    resource.file = file.value_or("");
    resource.original = original.value_or("");
    if (const toml::node* members = table.get("member")) {
        const toml::array* array = members->as_array();
        if (array == nullptr || array->empty()) {
            return problem(*members, section + "member", "must be [[resource.member]] tables");
        }
        for (const toml::node& entry : *array) {
            if (Problem p = readMember(entry, resource.members.emplace_back())) {
                return p;
            }
        }
    }
    if (resource.members.empty() == resource.file.empty()) {
        return problem(node, section + "file",
                       "a resource takes either a file or [[resource.member]] images");
    }
    if (!resource.original.empty() && resource.members.empty()) {
        return problem(node, section + "original", "belongs to a bitmap made of members");
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
        read.errorLine = static_cast<int>(parsed.error().source().begin.line);
        read.error = std::string(parsed.error().description());
        return read;
    }
    const toml::table& root = parsed.table();
    Manifest manifest;
    Problem found = unknownKeys(root, "", {"database", "resource"});
    if (!found) {
        found = readDatabase(root, nowSeconds, manifest.header);
    }
    if (!found) {
        const toml::node* resources = root.get("resource");
        if (resources != nullptr && !resources->is_array()) {
            found = problem(*resources, "resource", "must be [[resource]] tables");
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
    if (found) {
        read.errorLine = found.line;
        read.error = found.key + ": " + found.what;
        return read;
    }
    read.manifest = std::move(manifest);
    return read;
}

}  // namespace lumen
