// Runs the Windows programs under Wine beside the native ones: the same files
// in must give the same files out, the same lines (up to CR LF) and the same
// exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "files.h"
#include "skin_builder.h"

namespace {

namespace fs = std::filesystem;
using skinbuilder::DatabaseLayout;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;
using testsupport::writeFile;

const std::vector<std::string> kWineEnvironment = {"WINEDEBUG=-all", "WINEPREFIX=" WINE_PREFIX};

// Creates (or updates) the Wine prefix and waits until Wine has settled, once:
// a program started while Wine still sets up its prefix in the background may
// not run as it should.
void prepareWine() {
    static const bool prepared = [] {
        testsupport::runProgram({WINE_PATH, "wineboot", "--init"}, "", kWineEnvironment);
        const fs::path server = fs::path(WINE_PATH).parent_path() / "wineserver";
        testsupport::runProgram({server.string(), "--wait"}, "", kWineEnvironment);
        return true;
    }();
    (void)prepared;
}

bool wineAvailable() {
    const bool available = fs::exists(WINE_PATH) && fs::exists(WINDOWS_BIN "/Tessel.exe") &&
                           fs::exists(WINDOWS_BIN "/Recast.exe");
    if (available) {
        prepareWine();
    }
    return available;
}

#define REQUIRE_WINE()                                                               \
    do {                                                                             \
        if (!wineAvailable()) {                                                      \
            if (std::getenv("REQUIRE_WINE") != nullptr) {                            \
                FAIL() << "Wine or the Windows programs are missing";                \
            }                                                                        \
            GTEST_SKIP() << "Wine or the Windows programs (preset windows) missing"; \
        }                                                                            \
    } while (false)

// The path as a Windows program under Wine sees it: drive Z: is the root.
std::string windowsPath(const fs::path& path) {
    std::string text = "Z:" + fs::absolute(path).string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

RunResult underWine(const std::string& program, const std::vector<fs::path>& paths) {
    std::vector<std::string> arguments = {WINE_PATH, std::string(WINDOWS_BIN "/") + program};
    for (const fs::path& path : paths) {
        arguments.push_back(windowsPath(path));
    }
    return testsupport::runProgram(arguments, "", kWineEnvironment);
}

RunResult native(const std::string& program, const std::vector<fs::path>& paths) {
    std::vector<std::string> arguments = {std::string(NATIVE_BIN "/") + program};
    for (const fs::path& path : paths) {
        arguments.push_back(path.string());
    }
    return testsupport::runProgram(arguments);
}

std::string withoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// Every file that Tessel is given in the tests: the sample, the corpus, and
// generated databases that reach each branch of the pass.
std::vector<std::pair<std::string, Bytes>> tesselInputs() {
    std::vector<std::pair<std::string, Bytes>> inputs = {{"sample", readFile(SAMPLE_SKIN_PATH)}};
    for (const auto& entry : fs::directory_iterator(CORPUS_DIR)) {
        if (entry.path().extension() == ".prc") {
            inputs.emplace_back(entry.path().filename().string(), readFile(entry.path()));
        }
    }
    DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("Generated");
    layout.resources = {{"PlRC", 0, Bytes(9, 1)},
                        {"abmp", 31003, Bytes(300, 0x41)},
                        {"abmp", 40000, Bytes(300, 0x42)},
                        {"tSTR", 1, {}},
                        {"abmp", 7, {'c', 'B', 'M', 'P', 1, 2, 3}}};
    inputs.emplace_back("generated", skinbuilder::buildDatabase(layout));
    Bytes damaged = skinbuilder::buildDatabase(layout);
    damaged[75] = 1;  // a second record list
    inputs.emplace_back("second record list", damaged);
    damaged.resize(50);
    inputs.emplace_back("truncated", damaged);
    return inputs;
}

TEST(WindowsTessel, WritesTheSameFilesAndLinesAsTheNativeBuild) {
    REQUIRE_WINE();
    for (const auto& [name, bytes] : tesselInputs()) {
        SCOPED_TRACE(name);
        TempFolder folder;
        writeFile(folder / "in.prc", bytes);
        const RunResult linux = native("Tessel", {folder / "in.prc", folder / "linux.prc"});
        const RunResult windows =
            underWine("Tessel.exe", {folder / "in.prc", folder / "windows.prc"});
        EXPECT_EQ(withoutCarriageReturns(windows.out), linux.out) << windows.err;
        EXPECT_EQ(windows.exitStatus, linux.exitStatus) << windows.err;
        EXPECT_EQ(fs::exists(folder / "windows.prc"), fs::exists(folder / "linux.prc"));
        if (fs::exists(folder / "linux.prc")) {
            EXPECT_EQ(readFile(folder / "windows.prc"), readFile(folder / "linux.prc"));
        }
        EXPECT_EQ(readFile(folder / "in.prc"), bytes);
    }
}

TEST(WindowsTessel, UsageAndFailuresEndAlike) {
    REQUIRE_WINE();
    TempFolder folder;
    fs::create_directory(folder / "a folder");
    const std::vector<std::vector<fs::path>> argumentLists = {
        {},
        {folder / "a", folder / "b", folder / "c"},
        {folder / "missing.prc", folder / "out.prc"},
        {SAMPLE_SKIN_PATH, folder / "a folder"},
        {SAMPLE_SKIN_PATH, folder / "no such folder" / "out.prc"},
    };
    for (const auto& arguments : argumentLists) {
        const RunResult linux = native("Tessel", arguments);
        const RunResult windows = underWine("Tessel.exe", arguments);
        EXPECT_EQ(withoutCarriageReturns(windows.out), linux.out) << windows.err;
        EXPECT_EQ(windows.exitStatus, linux.exitStatus) << windows.err;
    }
}

TEST(WindowsTessel, OnePathReplacesTheInput) {
    REQUIRE_WINE();
    TempFolder folder;
    writeFile(folder / "linux.prc", readFile(SAMPLE_SKIN_PATH));
    writeFile(folder / "windows.prc", readFile(SAMPLE_SKIN_PATH));
    EXPECT_EQ(native("Tessel", {folder / "linux.prc"}).exitStatus, 0);
    EXPECT_EQ(underWine("Tessel.exe", {folder / "windows.prc"}).exitStatus, 0);
    EXPECT_EQ(readFile(folder / "windows.prc"), readFile(folder / "linux.prc"));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path), fs::directory_iterator()), 2);
}

DatabaseLayout skin(const std::string& type, const std::string& creator) {
    DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("Old name");
    layout.type = type;
    layout.creator = creator;
    layout.attributes = 0x0021;
    layout.resources = {{"ovly", 1, Bytes(3, 1)},
                        {"abmp", 25100, Bytes(4, 2)},
                        {"abmp", 25263, Bytes(5, 3)},
                        {"OVLY", 2, Bytes(6, 4)}};
    return layout;
}

// The made-up names carry four random digits; everything else must agree.
Bytes withoutPlaceholderDigits(Bytes file) {
    const std::string name(file.begin(), std::find(file.begin(), file.begin() + 32, 0));
    const auto isDigit = [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f');
    };
    const std::size_t open = name.rfind('[');
    if (open != std::string::npos && open + 6 == name.size() && name.back() == ']' &&
        std::all_of(name.begin() + static_cast<long>(open) + 1, name.end() - 1, isDigit)) {
        std::fill_n(file.begin() + static_cast<long>(open) + 1, 4, '?');
    }
    return file;
}

TEST(WindowsRecast, ConvertsAndRefusesLikeTheNativeBuild) {
    REQUIRE_WINE();
    struct Case {
        const char* fileName;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {"Blue.prc", skinbuilder::buildDatabase(skin("rsrc", "sBar"))},
        {"Green.skin.prc", skinbuilder::buildDatabase(skin("rsrc", "F3BG"))},
        {"StatusBarResources.prc", skinbuilder::buildDatabase(skin("rsrc", "sBar"))},
        {"Wifi.prc", skinbuilder::buildDatabase(skin("aext", "WiSl"))},
        {"Done.prc", skinbuilder::buildDatabase(skin("rsrc", "T3sk"))},
        {"Other.prc", skinbuilder::buildDatabase(skin("aext", "sBar"))},
        {".prc", skinbuilder::buildDatabase(skin("rsrc", "sBar"))},
        {"Short.prc", Bytes(79, 0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempFolder folder;
        fs::create_directories(folder / "linux");
        fs::create_directories(folder / "windows");
        writeFile(folder / "linux" / c.fileName, c.bytes);
        writeFile(folder / "windows" / c.fileName, c.bytes);
        const RunResult linux = native("Recast", {folder / "linux" / c.fileName});
        const RunResult windows = underWine("Recast.exe", {folder / "windows" / c.fileName});
        EXPECT_EQ(windows.exitStatus, linux.exitStatus);
        EXPECT_EQ(windows.out, "");
        const Bytes converted = readFile(folder / "windows" / c.fileName);
        EXPECT_EQ(withoutPlaceholderDigits(converted),
                  withoutPlaceholderDigits(readFile(folder / "linux" / c.fileName)));
        if (linux.exitStatus != 0) {
            EXPECT_EQ(converted, c.bytes);
        }
    }
}

}  // namespace
