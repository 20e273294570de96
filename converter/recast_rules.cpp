#include "recast_rules.h"

#include <cstdio>
#include <cstring>

#include "utf8.h"
#include "windows_1252.h"

namespace recast {
namespace {

bool isCode(const std::uint8_t* bytes, const char* code) {
    return std::memcmp(bytes, code, 4) == 0;
}

}  // namespace

std::size_t windows1252Character(char32_t character, std::uint8_t (&bytes)[2]) {
    const std::optional<std::uint8_t> byte = palmtext::unicodeToWindows1252(character);
    if (!byte) {
        return 0;
    }
    bytes[0] = *byte;
    return 1;
}

std::size_t handheldName(std::string_view utf8, HandheldCharacter encode,
                         char (&name)[kMaxNameLength + 1]) {
    std::size_t length = 0;
    while (!utf8.empty()) {
        char32_t character = 0;
        const std::size_t read = palmtext::decodeUtf8(utf8, character);
        std::uint8_t bytes[2] = {'_', 0};
        std::size_t count = read == 0 ? 0 : encode(character, bytes);
        if (count == 0) {
            bytes[0] = '_';
            count = 1;
        }
        if (length + count > kMaxNameLength) {
            break;
        }
        for (std::size_t i = 0; i < count; ++i) {
            name[length++] = static_cast<char>(bytes[i]);
        }
        utf8.remove_prefix(read == 0 ? 1 : read);
    }
    name[length] = '\0';
    return length;
}

std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        // Continuation bytes add nothing; a 4-byte character takes two units.
        units += (byte & 0xC0) == 0x80 ? 0 : (byte >= 0xF0 ? 2 : 1);
    }
    return units;
}

SkinKind classifySkin(const std::uint8_t* type, const std::uint8_t* creator) {
    if (isCode(type, "rsrc") && isCode(creator, "T3sk")) {
        return SkinKind::alreadyConverted;
    }
    if (isCode(type, "aext") && isCode(creator, "WiSl")) {
        return SkinKind::wifi;
    }
    if (isCode(type, "rsrc") && (isCode(creator, "sBar") || isCode(creator, "F3BG"))) {
        return SkinKind::statusBar;
    }
    return SkinKind::unsupported;
}

std::string_view databaseNameFromPath(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\:");
    const std::string_view base =
        separator == std::string_view::npos ? path : path.substr(separator + 1);
    return base.substr(0, base.find('.'));
}

std::size_t formatPlaceholderName(bool wifiSkin, int randomValue,
                                  char (&text)[kPlaceholderNameSize]) {
    // rand() may deliver more than 15 bits (glibc's does); the name has room
    // for four digits.
    const unsigned value = static_cast<unsigned>(randomValue) % 32768u;
    const int length =
        std::snprintf(text, sizeof text,
                      wifiSkin ? "Converted WiFi skin [%04x]" : "Converted skin [%04x]", value);
    return static_cast<std::size_t>(length);
}

bool renamedEntryType(bool wifiSkin, const std::uint8_t* type, std::uint16_t id,
                      std::uint8_t* newType) {
    if (wifiSkin) {
        if (isCode(type, "abmp") && id >= 25100 && id <= 25262) {
            return false;
        }
        newType[0] = '_';
        std::memcpy(newType + 1, type + 1, 3);
        return true;
    }
    if (isCode(type, "ovly")) {
        std::memcpy(newType, "OVLY", 4);
        return true;
    }
    return false;
}

}  // namespace recast
