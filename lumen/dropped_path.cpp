// A file dropped on Lumen in a file manager arrives as its only argument.
// Whatever Lumen writes for it goes beside it under a name that nothing
// else has: a user who drops a file expects a new thing to appear, never an
// old one to change.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "commands.h"
#include "open_document.h"
#include "same_file.h"
#include "skin_manifest.h"

namespace lumen {
namespace {

namespace fs = std::filesystem;

// Enough for any real folder; a folder that full gets an error, not a search.
constexpr int kMaxCandidates = 1000;

std::string text(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

// "base" first, then "base (2)", "base (3)" ... as file managers name copies.
fs::path candidate(const fs::path& folder, const std::string& base, const std::string& extension,
                   int number) {
    const std::string suffix = number == 1 ? "" : " (" + std::to_string(number) + ")";
    return folder / utf8Path(base + suffix + extension);
}

// Any entry, a dangling link too, has its name taken; so has a name that
// cannot be looked at.
bool taken(const fs::path& path) {
    std::error_code error;
    const fs::file_type type = fs::symlink_status(path, error).type();
    return type != fs::file_type::not_found;
}

bool isDirectory(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

bool isRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The folder that names a skin: the path without the separators after it,
// and the folder's own name for "." or "..".
std::optional<fs::path> namedFolder(const std::string& folder) {
    fs::path path = utf8Path(folder);
    if (!path.has_filename()) {
        path = path.parent_path();
    }
    if (path.filename() == "." || path.filename() == "..") {
        std::error_code error;
        path = fs::absolute(path, error).lexically_normal();
        if (!path.has_filename()) {
            path = path.parent_path();
        }
    }
    if (!path.has_filename() || path.filename() == "." || path.filename() == "..") {
        return std::nullopt;
    }
    return path;
}

// The contact sheet is opened unless LUMEN_NO_OPEN is set (the tests set it),
// and only once the export has written it.
void showSheet(const fs::path& folder) {
    const char* noOpen = std::getenv("LUMEN_NO_OPEN");
    if (noOpen != nullptr && *noOpen != '\0') {
        return;
    }
    const fs::path sheet = folder / "index.html";
    std::error_code error;
    const fs::path full = fs::absolute(sheet, error);
    if (!error && isRegularFile(sheet)) {
        openDocument(text(full));
    }
}

// An earlier export of this skin that nobody has changed is exported into
// again (it ends the same); any other entry of the name is left alone.
int exportBeside(const std::string& skin) {
    const fs::path path = utf8Path(skin);
    const std::string stem = text(path.stem());
    for (int number = 1; number <= kMaxCandidates; ++number) {
        const fs::path folder = candidate(path.parent_path(), stem, "", number);
        if (taken(folder) && !(isDirectory(folder) && isRegularFile(folder / kManifestName) &&
                               holdsExportOf(skin, text(folder)))) {
            continue;
        }
        const int status = exportSkin(skin, text(folder));
        showSheet(folder);
        return status;
    }
    reportFailure(skin, "no free folder name beside it");
    return 1;
}

// The skin beside the folder never replaces a file: an existing Blue.prc
// (most often the skin that the folder was exported from) stays, and the
// build goes to "Blue (2).prc".
int buildBeside(const fs::path& folder, const std::string& given) {
    const std::string name = text(folder.filename());
    for (int number = 1; number <= kMaxCandidates; ++number) {
        const fs::path output = candidate(folder.parent_path(), name, ".prc", number);
        if (!taken(output)) {
            return buildSkin(given, text(output));
        }
    }
    reportFailure(given, "no free skin name beside it");
    return 1;
}

}  // namespace

std::optional<int> runDropped(const std::string& path) {
    if (path.empty()) {
        return std::nullopt;
    }
    const fs::path dropped = utf8Path(path);
    if (isRegularFile(dropped)) {
        return exportBeside(path);
    }
    if (isDirectory(dropped) && isRegularFile(dropped / kManifestName)) {
        if (const std::optional<fs::path> folder = namedFolder(path)) {
            return buildBeside(*folder, path);
        }
    }
    return std::nullopt;
}

}  // namespace lumen
