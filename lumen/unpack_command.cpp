#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "bitmap_text.h"
#include "commands.h"
#include "same_file.h"
#include "shown_text.h"
#include "skin_view.h"

namespace lumen {

int unpackSkin(const std::string& path, const std::string& outputPath) {
    SkinLoad load = loadSkin(path);
    if (!load.skin) {
        reportFailure(path, load.error);
        return 1;
    }
    if (isSameFile(path, outputPath)) {
        reportFailure(outputPath, "is the skin itself; Lumen never writes over its input");
        return 1;
    }
    SkinView& skin = *load.skin;
    std::size_t unpacked = 0;
    bool damaged = false;
    DecodeBudget budget;
    for (prc::ResourceEntry& entry : skin.table.entries) {
        ResourceView view = viewResource(entry, budget);
        if (view.form != StoredForm::container) {
            continue;
        }
        if (!view.containerError.empty()) {
            reportFailure(path, resourceName(view) + ": " + damageOf(view));
            damaged = true;
            continue;
        }
        entry.data = std::move(view.bitmap);
        ++unpacked;
    }
    if (damaged) {
        reportFailure(outputPath, "not written: a container cannot be unpacked");
        return 1;
    }
    // Laid out as the skin was: an appInfo or sortInfo block its header points
    // to stays, and so do its gap and its data's order.
    const std::optional<std::size_t> written = writeSkin(
        outputPath, skin.table.header, skin.table.entries, "unpacked skin", skin.table.layout);
    if (!written) {
        return 1;
    }
    std::printf("%s: %zu containers unpacked, %zu bytes written to %s\n", shownPath(path).c_str(),
                unpacked, *written, shownPath(outputPath).c_str());
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace lumen
