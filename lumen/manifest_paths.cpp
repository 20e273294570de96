#include "manifest_paths.h"

#include <algorithm>
#include <array>

namespace lumen {
namespace {

bool isSeparator(char c) {
    return c == '/' || c == '\\';
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows opens these names as devices in every folder, whatever follows the
// first dot, and with spaces before it.
bool isDeviceName(std::string_view component) {
    std::string_view stem = component.substr(0, component.find('.'));
    while (!stem.empty() && stem.back() == ' ') {
        stem.remove_suffix(1);
    }
    std::string name;
    for (const char c : stem) {
        name += upper(c);
    }
    static constexpr std::array<std::string_view, 6> kNames = {"CON", "PRN",    "AUX",
                                                               "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kNames.begin(), kNames.end(), name) != kNames.end()) {
        return true;
    }
    // COM1 to COM9 and LPT1 to LPT9, and with the superscripts 1, 2 and 3
    // (UTF-8 C2 B9, C2 B2, C2 B3), which Windows takes as those digits.
    if (name.rfind("COM", 0) != 0 && name.rfind("LPT", 0) != 0) {
        return false;
    }
    const std::string_view number = std::string_view(name).substr(3);
    return (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

}  // namespace

std::string manifestNameProblem(std::string_view name) {
    if (name.size() > kMaxManifestNameLength) {
        return "is longer than the limit of " + std::to_string(kMaxManifestNameLength) +
               " bytes for a name";
    }
    if (name.find('\0') != std::string_view::npos) {
        return "holds a NUL character, which no file name can";
    }
    if (!name.empty() && isSeparator(name.front())) {
        return "must be relative to the manifest's folder: absolute names are refused on every "
               "system";
    }
    if (name.find(':') != std::string_view::npos) {
        return "holds a colon, a drive or a stream on Windows: refused on every system";
    }
    for (std::size_t start = 0; start <= name.size();) {
        const auto end =
            static_cast<std::size_t>(std::find_if(name.begin() + static_cast<std::ptrdiff_t>(start),
                                                  name.end(), isSeparator) -
                                     name.begin());
        const std::string_view component = name.substr(start, end - start);
        if (component == "..") {
            return "must stay inside the manifest's folder: \"..\" is refused";
        }
        if (component != "." && !component.empty() &&
            (component.back() == '.' || component.back() == ' ')) {
            return "has a part that ends in a dot or a space, which Windows drops: refused on "
                   "every system";
        }
        if (isDeviceName(component)) {
            return "names a device on Windows (CON, PRN, AUX, NUL, COM1-9, LPT1-9): refused on "
                   "every system";
        }
        start = end + 1;
    }
    return {};
}

std::string withForwardSlashes(std::string_view name) {
    std::string slashed(name);
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    return slashed;
}

}  // namespace lumen
