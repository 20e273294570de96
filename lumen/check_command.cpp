#include <cstdio>

#include "bitmap_text.h"
#include "commands.h"
#include "shown_text.h"
#include "skin_view.h"

namespace lumen {
namespace {

// Returns false when the skin could not be read or holds damage.
bool checkSkin(const std::string& path) {
    const SkinLoad load = loadSkin(path);
    if (!load.skin) {
        reportFailure(path, load.error);
        return false;
    }
    std::size_t bitmaps = 0;
    std::size_t containers = 0;
    std::size_t damaged = 0;
    DecodeBudget budget;
    const std::string shown = shownPath(path);
    for (const prc::ResourceEntry& entry : load.skin->table.entries) {
        const ResourceView view = viewResource(entry, budget);
        if (view.form == StoredForm::notBitmap) {
            continue;
        }
        ++bitmaps;
        containers += view.form == StoredForm::container ? 1 : 0;
        const std::string damage = damageOf(view);
        if (!damage.empty()) {
            ++damaged;
            std::printf("%s: %s: %s\n", shown.c_str(), resourceName(view).c_str(), damage.c_str());
        }
    }
    std::printf("%s: %zu bitmaps (%zu in containers), %s\n", shown.c_str(), bitmaps, containers,
                damaged == 0 ? "all intact" : (std::to_string(damaged) + " damaged").c_str());
    return damaged == 0;
}

}  // namespace

int checkSkins(const std::vector<std::string>& paths) {
    bool intact = true;
    for (const std::string& path : paths) {
        intact = checkSkin(path) && intact;
    }
    return intact && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
