#include "manifest_keys.h"

#include <algorithm>
#include <array>

#include "bitmap_format.h"
#include "bitmap_writer.h"
#include "skin_manifest.h"

namespace lumen {
namespace {

constexpr std::int64_t k16Bits = 0xFFFF;
constexpr std::int64_t k32Bits = 0xFFFFFFFF;

bool isDepth(std::int64_t value) {
    return palmbitmap::format::isValidDepth(static_cast<int>(value));
}

bool isDensity(std::int64_t value) {
    return palmbitmap::isKnownDensity(static_cast<int>(value));
}

constexpr std::string_view kCode = "four characters in quotes (\"abmp\") or a number of 32 bits";
constexpr std::string_view kDate =
    "the seconds since 1 January 1904, a whole number from 0 to 0xFFFFFFFF";
constexpr std::string_view kFile = "the name of a file in the manifest's folder, in quotes";

// In the order of the manual and of an exported manifest.
const std::array kKeys = {
    ManifestKey{"", "database", "the [database] table"},
    ManifestKey{"", "resource", "[[resource]] tables, one for each resource"},
    ManifestKey{"database", "name",
                "1 to 31 characters that the handheld shows (Windows-1252), in quotes"},
    ManifestKey{"database", "nameBytes", "the name's 32 bytes as 64 hexadecimal digits, in quotes"},
    ManifestKey{"database", "type", kCode, 0, k32Bits},
    ManifestKey{"database", "creator", kCode, 0, k32Bits},
    ManifestKey{"database", "attributes", "a whole number from 0 to 0xFFFF", 0, k16Bits},
    ManifestKey{"database", "version", "a whole number from 0 to 65535", 0, k16Bits},
    ManifestKey{"database", "created", kDate, 0, k32Bits},
    ManifestKey{"database", "modified", kDate, 0, k32Bits},
    ManifestKey{"database", "backedUp", kDate, 0, k32Bits},
    ManifestKey{"database", "modificationNumber", "a whole number from 0 to 4294967295", 0,
                k32Bits},
    ManifestKey{"database", "uniqueIdSeed", "a whole number from 0 to 4294967295", 0, k32Bits},
    ManifestKey{"database", "gap",
                "a number of zero bytes from 0 to 65535, or the name of a file that holds the "
                "gap, in quotes",
                0, static_cast<std::int64_t>(kMaxZeroGap)},
    ManifestKey{"database", "appInfo", kFile},
    ManifestKey{"database", "appInfoId", "a whole number from 0 to 4294967295", 0, k32Bits},
    ManifestKey{"database", "sortInfo", kFile},
    ManifestKey{"database", "sortInfoId", "a whole number from 0 to 4294967295", 0, k32Bits},
    ManifestKey{"database", "dataOrder",
                "a list of the resources' places among the [[resource]] tables, as [2, 1, 3]"},
    ManifestKey{"resource", "type", kCode, 0, k32Bits},
    ManifestKey{"resource", "id", "a whole number from 0 to 65535", 0, k16Bits},
    ManifestKey{"resource", "file", kFile},
    ManifestKey{"resource", "text",
                "the text of a string resource in quotes, in the characters of Windows-1252"},
    ManifestKey{"resource", "original", kFile},
    ManifestKey{"resource", "member", "[[resource.member]] tables, one for each image"},
    ManifestKey{"resource.member", "image",
                "the name of a PNG file in the manifest's folder, in quotes"},
    ManifestKey{"resource.member", "depth", "one of 1, 2, 4, 8, 16", 1, 16, isDepth},
    ManifestKey{"resource.member", "version", "one of 1, 2, 3", 1, 3},
    ManifestKey{"resource.member", "density", "one of 72, 108, 144, 216, 288", 72, 288, isDensity},
    ManifestKey{"resource.member", "compression",
                "one of \"none\", \"scanline\", \"rle\", \"packbits\", \"best\""},
    ManifestKey{"resource.member", "colours",
                "\"system\", \"image\" or a number of colours from 2 to 256"},
    ManifestKey{"resource.member", "dither", "true or false"},
    ManifestKey{"resource.member", "transparent", "a colour in quotes, \"#rrggbb\""},
    ManifestKey{"resource.member", "digest", "text in quotes, as export writes it"},
};

// How a table is written in the manifest.
std::string header(std::string_view table) {
    if (table == "database") {
        return "[database]";
    }
    return "[[" + std::string(table) + "]]";
}

std::string where(std::string_view table) {
    return table.empty() ? "at the top" : "in " + header(table);
}

}  // namespace

std::span<const ManifestKey> manifestKeys() {
    return kKeys;
}

const ManifestKey* manifestKey(std::string_view table, std::string_view name) {
    const auto found = std::find_if(kKeys.begin(), kKeys.end(), [&](const ManifestKey& key) {
        return key.table == table && key.name == name;
    });
    return found == kKeys.end() ? nullptr : &*found;
}

bool acceptsNumber(const ManifestKey& key, std::int64_t value) {
    return value >= key.low && value <= key.high && (key.accepts == nullptr || key.accepts(value));
}

std::string wrongValue(const ManifestKey& key, std::string_view given, std::string_view mend) {
    std::string text =
        std::string(key.name) + " is " + std::string(key.takes) + ", not " + std::string(given);
    if (!mend.empty()) {
        text += "; write " + std::string(mend);
    }
    return text;
}

std::string missingValue(const ManifestKey& key) {
    return "is missing " + where(key.table) + "; " + std::string(key.name) + " is " +
           std::string(key.takes);
}

std::string unknownKey(std::string_view table, std::string_view name) {
    // A key written in the wrong table is told where it belongs.
    std::string belongs;
    std::string known;
    for (const ManifestKey& key : kKeys) {
        if (key.name == name) {
            belongs += (belongs.empty() ? "" : " or ") +
                       (key.table.empty() ? std::string("at the top") : "in " + header(key.table));
        }
        if (key.table == table) {
            known += (known.empty() ? "" : ", ") +
                     (table.empty() ? header(key.name) : std::string(key.name));
        }
    }
    if (!belongs.empty()) {
        return "unknown key " + where(table) + "; " + std::string(name) + " belongs " + belongs;
    }
    return "unknown key " + where(table) + "; it takes " + known;
}

}  // namespace lumen
