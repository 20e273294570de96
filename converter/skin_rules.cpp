#include "skin_rules.h"

#include <cstdio>
#include <cstring>

#include "windows_1252.h"

namespace recast {
namespace {

bool isCode(const std::uint8_t* bytes, const char* code) {
    return std::memcmp(bytes, code, 4) == 0;
}

// Decodes the UTF-8 character at the start of text into character; returns
// its length, or 0 for a byte that does not begin a well-formed character.
std::size_t decodeUtf8(std::string_view text, char32_t& character) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        character = lead;
        return 1;
    }
    // The lead byte's high bits give the length; the smallest value of each
    // length rules out overlong forms.
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
        character = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
        character = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
        character = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        character = (character << 6) | (next & 0x3F);
    }
    const bool surrogate = character >= 0xD800 && character <= 0xDFFF;
    return character < minimum || character > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::size_t windows1252Character(char32_t character, std::uint8_t (&bytes)[2]) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        bytes[0] = static_cast<std::uint8_t>(character);
        return 1;
    }
    for (std::size_t i = 0; i < 32; ++i) {
        if (palmtext::kWindows1252High[i] != 0 && palmtext::kWindows1252High[i] == character) {
            bytes[0] = static_cast<std::uint8_t>(0x80 + i);
            return 1;
        }
    }
    return 0;
}

std::size_t handheldName(std::string_view utf8, HandheldCharacter encode,
                         char (&name)[kMaxNameLength + 1]) {
    std::size_t length = 0;
    while (!utf8.empty()) {
        char32_t character = 0;
        const std::size_t read = decodeUtf8(utf8, character);
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
