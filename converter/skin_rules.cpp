#include "skin_rules.h"

#include <cstdio>
#include <cstring>

namespace recast {
namespace {

bool isCode(const std::uint8_t* bytes, const char* code) {
    return std::memcmp(bytes, code, 4) == 0;
}

}  // namespace

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
