// Runs the Windows programs under Wine beside the native ones: the same files
// in must give the same files out, the same lines (up to CR LF) and the same
// exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "files.h"
#include "required_tool.h"
#include "skin_builder.h"

namespace {

namespace fs = std::filesystem;
using skinbuilder::DatabaseLayout;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;
using testsupport::writeFile;

// The Windows locale follows the Unix one: C.UTF-8 gives code page 1252, as on
// a Western European Windows.
// LUMEN_NO_OPEN: a skin given to Lumen alone opens no browser in the tests.
const std::vector<std::string> kWineEnvironment = {"WINEDEBUG=-all", "WINEPREFIX=" WINE_PREFIX,
                                                   "LUMEN_NO_OPEN=1", "LC_ALL=C.UTF-8"};

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
                           fs::exists(WINDOWS_BIN "/Recast.exe") &&
                           fs::exists(WINDOWS_BIN "/hold_file.exe");
    if (available) {
        prepareWine();
    }
    return available;
}

#define REQUIRE_WINE()                            \
    REQUIRE_TOOL(wineAvailable(), "REQUIRE_WINE", \
                 "Wine or the Windows programs (preset windows) missing")

// The path as a Windows program under Wine sees it: drive Z: is the root.
std::string windowsPath(const fs::path& path) {
    std::string text = "Z:" + fs::absolute(path).string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

// Runs a program of the Windows build with its arguments as they are given;
// locale replaces the default one.
RunResult underWineAsGiven(const std::string& program, const std::vector<std::string>& given,
                           const std::string& locale = "") {
    std::vector<std::string> arguments = {WINE_PATH, std::string(WINDOWS_BIN "/") + program};
    arguments.insert(arguments.end(), given.begin(), given.end());
    std::vector<std::string> environment = kWineEnvironment;
    if (!locale.empty()) {
        environment.back() = "LC_ALL=" + locale;
    }
    return testsupport::runProgram(arguments, "", environment);
}

RunResult underWine(const std::string& program, const std::vector<fs::path>& paths,
                    const std::string& locale = "") {
    std::vector<std::string> arguments;
    for (const fs::path& path : paths) {
        arguments.push_back(windowsPath(path));
    }
    return underWineAsGiven(program, arguments, locale);
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
    // Inputs that are no regular file, and one past a database's 4 GB (sparse).
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", folder / "device");
    writeFile(folder / "large.prc", Bytes(100, 1));
    fs::resize_file(folder / "large.prc", std::uintmax_t{1} << 32);
    struct Case {
        std::vector<fs::path> paths;  // to both builds, each in its own spelling
        // Given to Tessel.exe instead: "/?" asks for the usage on Windows,
        // where a '?' cannot stand in a file name.
        std::vector<std::string> windowsArguments = {};
    };
    const std::vector<Case> cases = {
        {{}},
        {{}, {"/?"}},
        {{}, {windowsPath(SAMPLE_SKIN_PATH), "/?"}},
        {{folder / "a", folder / "b", folder / "c"}},
        {{folder / "missing.prc", folder / "out.prc"}},
        {{SAMPLE_SKIN_PATH, folder / "a folder"}},
        {{SAMPLE_SKIN_PATH, folder / "no such folder" / "out.prc"}},
        {{SAMPLE_SKIN_PATH, folder / (std::string(251, 'n') + ".prc")}},  // the longest name
        {{folder / "fifo", folder / "out.prc"}},
        {{folder / "device", folder / "out.prc"}},
        {{folder / "large.prc", folder / "out.prc"}},
    };
    for (const Case& c : cases) {
        const RunResult linux = native("Tessel", c.paths);
        const RunResult windows = c.windowsArguments.empty()
                                      ? underWine("Tessel.exe", c.paths)
                                      : underWineAsGiven("Tessel.exe", c.windowsArguments);
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

// Ctrl-C while the output is being written: Wine hands SIGINT to the
// console's control handlers, and Tessel.exe's removes its temporary file
// before the process ends; the old output stays.
TEST(WindowsTessel, CtrlCWhileWritingLeavesTheOldOutputAndNoTemporaryFile) {
    REQUIRE_WINE();
    TempFolder folder;
    DatabaseLayout layout;
    // Kept raw (id 31003), so that the time goes into writing it.
    layout.resources = {{"abmp", 31003, Bytes(std::size_t{200} << 20, 0)}};
    writeFile(folder / "in.prc", skinbuilder::buildDatabase(layout));
    writeFile(folder / "out.prc", Bytes(3, 'o'));
    const auto temporaryExists = [&] {
        const auto names = testsupport::folderContents(folder.path);
        return std::any_of(names.begin(), names.end(),
                           [](const std::string& name) { return name.front() == '~'; });
    };
    bool seen = false;
    testsupport::runProgram({WINE_PATH, WINDOWS_BIN "/Tessel.exe", windowsPath(folder / "in.prc"),
                             windowsPath(folder / "out.prc")},
                            "", kWineEnvironment, [&](pid_t wine) {
                                for (int wait = 0; wait < 3000 && !seen; ++wait) {
                                    seen = temporaryExists();
                                    ::usleep(5000);
                                }
                                ::kill(wine, SIGINT);
                            });
    ASSERT_TRUE(seen) << "no temporary file while Tessel.exe wrote";
    // Wine does not always pass STATUS_CONTROL_C_EXIT on as the status; the
    // files show what happened: the output not replaced, nothing left behind.
    EXPECT_EQ(readFile(folder / "out.prc"), Bytes(3, 'o'));
    EXPECT_EQ(testsupport::folderContents(folder.path),
              (std::vector<std::string>{"in.prc", "out.prc"}));
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

// Names that the code page 1252 cannot hold, or holds only as a look-alike
// ("best fit": Ł becomes L, ź becomes z), must still reach exactly the file the
// user named.
TEST(WindowsPaths, EachProgramTouchesExactlyTheNamedFile) {
    REQUIRE_WINE();
    struct Case {
        const char* folder;
        const char* named;
        const char* lookAlike;  // beside it, never to be touched
    };
    const std::vector<Case> cases = {
        {"skins", "Łódź.prc", "Lódz.prc"},
        {"スキン", "スキン.prc", "___.prc"},
        {"Скины", "Скин.prc", "Skin.prc"},
    };
    const Bytes sample = readFile(SAMPLE_SKIN_PATH);
    const Bytes statusBarSkin = skinbuilder::buildDatabase(skin("rsrc", "sBar"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.named);
        TempFolder folder;
        const fs::path dir = folder / c.folder;
        fs::create_directories(dir);
        const fs::path named =
            dir / fs::path(std::u8string(reinterpret_cast<const char8_t*>(c.named)));
        const fs::path lookAlike = dir / c.lookAlike;
        writeFile(lookAlike, statusBarSkin);
        writeFile(folder / "expected.prc", sample);
        ASSERT_EQ(native("Tessel", {folder / "expected.prc"}).exitStatus, 0);

        writeFile(named, sample);
        const RunResult tessel = underWine("Tessel.exe", {named});
        EXPECT_EQ(tessel.exitStatus, 0) << tessel.out;
        EXPECT_EQ(readFile(named), readFile(folder / "expected.prc"));
        const fs::path output = dir / fs::path(u8"出力.prc");
        EXPECT_EQ(underWine("Tessel.exe", {named, output}).exitStatus, 0);
        EXPECT_EQ(readFile(output), readFile(folder / "expected.prc"));

        writeFile(named, statusBarSkin);
        EXPECT_EQ(underWine("Recast.exe", {named}).exitStatus, 0);
        const Bytes converted = readFile(named);
        EXPECT_EQ(std::string(converted.begin() + 64, converted.begin() + 68), "T3sk");
        EXPECT_EQ(readFile(lookAlike), statusBarSkin);
        EXPECT_EQ(testsupport::folderContents(dir).size(), 3u);
    }
}

// The database name is in the handheld's character set, which on Windows is
// the system's ANSI code page.
TEST(WindowsPaths, RecastNamesTheDatabaseInTheCodePage) {
    REQUIRE_WINE();
    struct Case {
        const char* locale;
        const char* fileName;
        std::string nameBytes;
    };
    const std::vector<Case> cases = {
        {"", "Blåbær.prc",
         "Bl\xe5"
         "b\xe6r"},
        {"", "Скин.prc", "____"},
        {"ru_RU.UTF-8", "Скин.prc", "\xd1\xea\xe8\xed"},
        {"ru_RU.UTF-8", "Blåbær.prc", "Bl_b_r"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.fileName);
        if (*c.locale != '\0' && std::setlocale(LC_ALL, c.locale) == nullptr) {
            if (std::getenv("REQUIRE_WINE") != nullptr) {
                ADD_FAILURE() << "locale " << c.locale << " is not installed";
            } else {
                std::printf("skipped: locale %s is not installed (localedef -i ru_RU -f UTF-8)\n",
                            c.locale);
            }
            continue;
        }
        std::setlocale(LC_ALL, "C");
        TempFolder folder;
        const fs::path file =
            folder / fs::path(std::u8string(reinterpret_cast<const char8_t*>(c.fileName)));
        writeFile(file, skinbuilder::buildDatabase(skin("rsrc", "sBar")));
        EXPECT_EQ(underWine("Recast.exe", {file}, c.locale).exitStatus, 0);
        const Bytes converted = readFile(file);
        EXPECT_EQ(std::string(converted.begin(), converted.begin() + 32).c_str(), c.nameBytes);
    }
}

std::string attributesUnderWine(const fs::path& path) {
    return testsupport::runProgram({WINE_PATH, "cmd", "/c", "attrib", windowsPath(path)}, "",
                                   kWineEnvironment)
        .out;
}

// An existing output is replaced as a whole, keeps what Windows keeps on it,
// and survives every failure with no temporary file left.
TEST(WindowsPaths, ReplacedOutputsKeepTheirPropertiesOrStayAsTheyWere) {
    REQUIRE_WINE();
    TempFolder folder;
    writeFile(folder / "expected.prc", readFile(SAMPLE_SKIN_PATH));
    ASSERT_EQ(native("Tessel", {SAMPLE_SKIN_PATH, folder / "expected.prc"}).exitStatus, 0);
    const Bytes expected = readFile(folder / "expected.prc");
    const Bytes old = {1, 2, 3};

    // Beyond 260 characters, where the ANSI calls stop.
    fs::path deep = folder.path;
    for (int i = 0; i < 3; ++i) {
        deep /= std::string(100, static_cast<char>('a' + i));
    }
    fs::create_directories(deep);
    const fs::path longOutput = deep / "out.prc";
    ASSERT_GT(windowsPath(longOutput).size(), 300u);
    writeFile(longOutput, old);
    EXPECT_EQ(underWine("Tessel.exe", {SAMPLE_SKIN_PATH, longOutput}).exitStatus, 0);
    EXPECT_EQ(readFile(longOutput), expected);
    // As the input too: Tessel gives its own output back unchanged.
    EXPECT_EQ(underWine("Tessel.exe", {longOutput}).exitStatus, 0);
    EXPECT_EQ(readFile(longOutput), expected);
    EXPECT_EQ(testsupport::folderContents(deep), std::vector<std::string>{"out.prc"});

    const fs::path hidden = folder / "hidden.prc";
    writeFile(hidden, old);
    testsupport::runProgram({WINE_PATH, "cmd", "/c", "attrib", "+h", windowsPath(hidden)}, "",
                            kWineEnvironment);
    ASSERT_NE(attributesUnderWine(hidden).find('H'), std::string::npos);
    EXPECT_EQ(underWine("Tessel.exe", {SAMPLE_SKIN_PATH, hidden}).exitStatus, 0);
    EXPECT_EQ(readFile(hidden), expected);
    EXPECT_NE(attributesUnderWine(hidden).find('H'), std::string::npos);

    // Held open by another program that shares nothing.
    const fs::path held = folder / "held.prc";
    writeFile(held, old);
    const std::vector<std::string> before = testsupport::folderContents(folder.path);
    const RunResult blocked = testsupport::runProgram(
        {WINE_PATH, WINDOWS_BIN "/hold_file.exe", windowsPath(held),
         windowsPath(WINDOWS_BIN "/Tessel.exe"), windowsPath(SAMPLE_SKIN_PATH), windowsPath(held)},
        "", kWineEnvironment);
    EXPECT_EQ(blocked.exitStatus, 1) << blocked.err;
    EXPECT_NE(withoutCarriageReturns(blocked.out)
                  .find("\nERR: output file is in use by another program!\n"),
              std::string::npos)
        << blocked.out;
    EXPECT_EQ(readFile(held), old);
    EXPECT_EQ(testsupport::folderContents(folder.path), before);
}

// Lumen's report names its files: Wine's spelling of them becomes the native one.
std::string asNativeReport(std::string text, const std::vector<fs::path>& paths) {
    text = withoutCarriageReturns(text);
    for (const fs::path& path : paths) {
        const std::string windows = windowsPath(path);
        for (std::size_t at = text.find(windows); at != std::string::npos;
             at = text.find(windows, at)) {
            text.replace(at, windows.size(), fs::absolute(path).string());
        }
    }
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

RunResult lumen(bool windows, const std::string& command, const std::vector<fs::path>& paths) {
    std::vector<std::string> arguments;
    if (windows) {
        arguments = {WINE_PATH, WINDOWS_BIN "/Lumen.exe", command};
    } else {
        arguments = {NATIVE_BIN "/Lumen", command};
    }
    for (const fs::path& path : paths) {
        // A resource id is a number, not a path.
        const std::string text = path.string();
        const bool id =
            std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
        arguments.push_back(id ? text : windows ? windowsPath(path) : fs::absolute(path).string());
    }
    return testsupport::runProgram(
        arguments, "", windows ? kWineEnvironment : std::vector<std::string>{"LUMEN_NO_OPEN=1"});
}

TEST(WindowsLumen, ReportsAndWritesWhatTheNativeBuildDoes) {
    REQUIRE_WINE();
    REQUIRE_TOOL(fs::exists(WINDOWS_BIN "/Lumen.exe") && fs::exists(NATIVE_BIN "/Lumen"),
                 "REQUIRE_WINE", "Lumen.exe or the native Lumen is missing");
    TempFolder folder;
    ASSERT_EQ(native("Tessel", {SAMPLE_SKIN_PATH, folder / "compressed.prc"}).exitStatus, 0);
    // The first container declares more bytes than its stream gives.
    Bytes damaged = readFile(folder / "compressed.prc");
    const std::string magic = "cBMP";
    const auto container = std::search(damaged.begin(), damaged.end(), magic.begin(), magic.end());
    ASSERT_NE(container, damaged.end());
    container[6] = 0x7F;
    // A database name in the handheld's Windows-1252.
    Bytes blabaer = readFile(SAMPLE_SKIN_PATH);
    const std::string name =
        "Bl\xe5"
        "b\xe6r";
    std::copy(name.begin(), name.end() + 1, blabaer.begin());
    struct Case {
        std::string skinName;
        Bytes skin;
        std::string exportFolder;
        std::string unpacked;
        bool linksInExportFolder = false;  // to a file elsewhere, and dangling
    };
    const std::vector<Case> cases = {
        {"compressed.prc", readFile(folder / "compressed.prc"), "export", "unpacked.prc"},
        {"damaged.prc", damaged, "export", "unpacked.prc"},
        {"スキン.prc", readFile(SAMPLE_SKIN_PATH), "書き出し", "展開.prc"},
        {"blåbær.prc", blabaer, "export", "unpacked.prc", true},
    };
    writeFile(folder / "elsewhere", Bytes(5, 'e'));
    struct Outcome {
        std::vector<RunResult> runs;
        std::map<std::string, Bytes> written;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.skinName);
        const fs::path skin = folder / c.skinName;
        const fs::path exported = folder / c.exportFolder;
        const fs::path unpacked = folder / c.unpacked;
        const fs::path built = folder / ("built-" + c.unpacked);
        const fs::path replaced = folder / ("replaced-" + c.unpacked);
        writeFile(skin, c.skin);
        // Both builds run on the same paths; what one wrote is taken away before the other runs.
        const auto runAll = [&](bool windows) {
            if (c.linksInExportFolder) {
                fs::create_directory(exported);
                fs::create_symlink(folder / "elsewhere", exported / "31000.png");
                fs::create_symlink(folder / "made elsewhere", exported / "31010.png");
            }
            Outcome outcome;
            // The export's images are read back by build and replace: WIC's
            // decoding against libspng's.
            for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                     {"list"},
                     {"check"},
                     {"export", exported},
                     {"unpack", unpacked},
                     {"build", exported, built},
                     {"replace", "31000", exported / "31000.png", replaced}}) {
                std::vector<fs::path> paths = {skin};
                if (command[0] == "build") {
                    paths.clear();
                }
                paths.insert(paths.end(), command.begin() + 1, command.end());
                RunResult result = lumen(windows, command[0], paths);
                if (windows) {
                    result.out = asNativeReport(result.out, paths);
                    result.err = asNativeReport(result.err, paths);
                }
                outcome.runs.push_back(result);
            }
            // The skin alone, as Explorer passes one dropped on Lumen.exe:
            // exported to the folder of its name beside it.
            const fs::path beside = folder / skin.stem();
            RunResult dropped =
                lumen(windows, windows ? windowsPath(skin) : fs::absolute(skin).string(), {});
            if (windows) {
                dropped.out = asNativeReport(dropped.out, {skin, beside});
                dropped.err = asNativeReport(dropped.err, {skin, beside});
            }
            outcome.runs.push_back(dropped);
            for (const fs::path& written : {exported, beside}) {
                if (fs::exists(written)) {
                    for (const std::string& name : testsupport::folderContents(written)) {
                        outcome.written[written.filename().string() + "/" + name] =
                            readFile(written / name);
                    }
                }
            }
            fs::remove_all(beside);
            for (const fs::path& output : {unpacked, built, replaced}) {
                if (fs::exists(output)) {
                    outcome.written[output.filename().string()] = readFile(output);
                }
            }
            fs::remove_all(exported);
            fs::remove(unpacked);
            fs::remove(built);
            fs::remove(replaced);
            return outcome;
        };
        const Outcome linux = runAll(false);
        const Outcome windows = runAll(true);
        for (std::size_t k = 0; k < linux.runs.size(); ++k) {
            EXPECT_EQ(windows.runs[k].out, linux.runs[k].out);
            EXPECT_EQ(windows.runs[k].err, linux.runs[k].err);
            EXPECT_EQ(windows.runs[k].exitStatus, linux.runs[k].exitStatus);
        }
        EXPECT_EQ(windows.written, linux.written);
        EXPECT_GT(linux.written.size(), 1u);  // an export, at least
        EXPECT_EQ(readFile(skin), c.skin);
        EXPECT_EQ(readFile(folder / "elsewhere"), Bytes(5, 'e'));
        EXPECT_FALSE(fs::exists(folder / "made elsewhere"));
    }
    // A write that fails ends its line with the system's reason, in its own
    // words (not the native build's), and nothing after them.
    const fs::path missing = folder / "no such folder" / "out.prc";
    const RunResult refused = lumen(true, "unpack", {folder / "compressed.prc", missing});
    EXPECT_EQ(refused.exitStatus, 1);
    const std::string report = asNativeReport(refused.err, {missing});
    const std::string start = "Lumen: " + missing.string() + ": cannot write the file: ";
    ASSERT_TRUE(report.starts_with(start)) << report;
    const std::string reason = report.substr(start.size());
    EXPECT_GT(reason.size(), 1u);
    EXPECT_EQ(reason.find('\n'), reason.size() - 1) << reason;
    // "/?" is Lumen.exe's --help: a '?' cannot stand in a Windows file name.
    const RunResult help = lumen(true, "/?", {});
    EXPECT_EQ(withoutCarriageReturns(help.out), lumen(false, "--help", {}).out);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.exitStatus, 0);
}

// A manifest reads only inside its folder, and only regular files: Lumen.exe
// finds where a link leads through the handle it opened, the native build
// through the path; both refuse or build alike.
TEST(WindowsLumen, BuildReadsOnlyFilesInsideTheManifestsFolderAsTheNativeBuildDoes) {
    REQUIRE_WINE();
    REQUIRE_TOOL(fs::exists(WINDOWS_BIN "/Lumen.exe") && fs::exists(NATIVE_BIN "/Lumen"),
                 "REQUIRE_WINE", "Lumen.exe or the native Lumen is missing");
    TempFolder folder;
    const fs::path in = folder / "in";
    fs::create_directories(in / "sub");
    writeFile(in / "t.bin", Bytes(5, 't'));
    writeFile(folder / "secret", Bytes(6, 's'));
    fs::create_symlink("../secret", in / "out-link");
    fs::create_symlink("../t.bin", in / "sub" / "in-link");
    ASSERT_EQ(::mkfifo((in / "fifo").c_str(), 0644), 0);
    const fs::path built = folder / "built.prc";
    for (const std::string name : {"t.bin", "sub/in-link", "out-link", "fifo", "../secret",
                                   "Con.bin", "C:t.bin", "/t.bin"}) {
        SCOPED_TRACE(name);
        const std::string manifest =
            "[database]\nname = \"X\"\ntype = \"rsrc\"\ncreator = \"sBar\"\ncreated = 1\n"
            "modified = 1\n[[resource]]\ntype = \"tSTR\"\nid = 1\nfile = \"" +
            name + "\"\n";
        writeFile(in / "skin.toml", Bytes(manifest.begin(), manifest.end()));
        const RunResult linux = lumen(false, "build", {in, built});
        const Bytes linuxBuilt = fs::exists(built) ? readFile(built) : Bytes{};
        fs::remove(built);
        const RunResult windows = lumen(true, "build", {in, built});
        EXPECT_EQ(asNativeReport(windows.out, {in, built}), linux.out);
        EXPECT_EQ(asNativeReport(windows.err, {in, built}), linux.err);
        EXPECT_EQ(windows.exitStatus, linux.exitStatus);
        EXPECT_EQ(fs::exists(built) ? readFile(built) : Bytes{}, linuxBuilt);
        EXPECT_EQ(linuxBuilt.empty(), linux.exitStatus != 0);
        fs::remove(built);
    }
}

#ifdef SKINTOOLS_HAVE_ZLIB
// A PNG file of any colour type and bit depth, rows given unfiltered,
// with extra chunks (tRNS, PLTE) before the data.
Bytes pngFile(int width, int height, int depth, int colourType, const Bytes& rows,
              const std::vector<std::pair<std::string, Bytes>>& chunks = {}) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    const auto put32 = [&out](std::uint32_t v) {
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                    static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    };
    const auto chunk = [&](const std::string& type, const Bytes& data) {
        put32(static_cast<std::uint32_t>(data.size()));
        Bytes typed(type.begin(), type.end());
        typed.insert(typed.end(), data.begin(), data.end());
        out.insert(out.end(), typed.begin(), typed.end());
        put32(static_cast<std::uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
    };
    Bytes header;
    for (const int side : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            header.push_back(static_cast<std::uint8_t>(side >> shift));
        }
    }
    header.insert(header.end(), {static_cast<std::uint8_t>(depth),
                                 static_cast<std::uint8_t>(colourType), 0, 0, 0});
    chunk("IHDR", header);
    for (const auto& [type, data] : chunks) {
        chunk(type, data);
    }
    const std::size_t rowBytes = rows.size() / static_cast<std::size_t>(height);
    Bytes filtered;
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        filtered.push_back(0);
        filtered.insert(filtered.end(), rows.begin() + y * rowBytes,
                        rows.begin() + (y + 1) * rowBytes);
    }
    uLongf size = compressBound(static_cast<uLong>(filtered.size()));
    Bytes compressed(size);
    compress(compressed.data(), &size, filtered.data(), static_cast<uLong>(filtered.size()));
    compressed.resize(size);
    chunk("IDAT", compressed);
    chunk("IEND", {});
    return out;
}

// Every kind of PNG an editor writes, put into the sample's 64×32 bitmap by
// replace: WIC must give the pixels that libspng gives. Both read past text,
// however much, and refuse the same damaged files.
TEST(WindowsLumen, ReadsEveryKindOfPngAsTheNativeBuildDoes) {
    REQUIRE_WINE();
    REQUIRE_TOOL(fs::exists(WINDOWS_BIN "/Lumen.exe") && fs::exists(NATIVE_BIN "/Lumen"),
                 "REQUIRE_WINE", "Lumen.exe or the native Lumen is missing");
    constexpr int kWidth = 64;
    constexpr int kHeight = 32;
    // Samples that differ in their low bits, so that 16 bits do not fold to 8.
    const auto rows = [&](int channels, int depth) {
        Bytes out;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                for (int c = 0; c < channels; ++c) {
                    const int value = c == 3 || (channels == 2 && c == 1)
                                          ? (x < 4 ? x * 20000 : 65535)
                                          : (x * 1031 + y * 2053 * c + c * 777 + y * 99) % 65536;
                    if (depth == 16) {
                        out.push_back(static_cast<std::uint8_t>(value >> 8));
                    }
                    out.push_back(static_cast<std::uint8_t>(value));
                }
            }
        }
        return out;
    };
    Bytes palette;
    Bytes indices;
    for (int k = 0; k < 256; ++k) {
        palette.insert(palette.end(),
                       {static_cast<std::uint8_t>(k), static_cast<std::uint8_t>(k * 7),
                        static_cast<std::uint8_t>(255 - k)});
    }
    for (int p = 0; p < kWidth * kHeight; ++p) {
        indices.push_back(static_cast<std::uint8_t>(p * 13));
    }
    const Bytes rgba = pngFile(kWidth, kHeight, 8, 6, rows(4, 8));
    const auto damaged = [&rgba](std::size_t at) {
        Bytes file = rgba;
        file[at] ^= 1;
        return file;
    };
    std::vector<std::pair<std::string, Bytes>> texts;
    for (int k = 0; k < 10000; ++k) {
        texts.push_back({"tEXt", {'C', 0, static_cast<std::uint8_t>('0' + k % 10)}});
    }
    Bytes longText(std::size_t{16} << 20, 'x');
    longText[1] = 0;
    Bytes badText = pngFile(kWidth, kHeight, 8, 6, rows(4, 8), {{"tEXt", {'C', 0, 'x'}}});
    badText[33 + 8 + 3] ^= 1;  // the text chunk's checksum
    // A clear colour whose checksum is wrong is skipped, as libpng skips it.
    Bytes badClear =
        pngFile(kWidth, kHeight, 16, 2, rows(3, 16), {{"tRNS", {0x04, 0x07, 0, 0, 0x03, 0x09}}});
    badClear[33 + 8 + 6] ^= 1;
    const std::vector<std::pair<std::string, Bytes>> kinds = {
        {"grey 16", pngFile(kWidth, kHeight, 16, 0, rows(1, 16))},
        {"grey and alpha 16", pngFile(kWidth, kHeight, 16, 4, rows(2, 16))},
        {"RGB 16", pngFile(kWidth, kHeight, 16, 2, rows(3, 16))},
        {"RGB 16 with a clear colour",
         pngFile(kWidth, kHeight, 16, 2, rows(3, 16), {{"tRNS", {0x04, 0x07, 0, 0, 0x03, 0x09}}})},
        {"RGBA 16", pngFile(kWidth, kHeight, 16, 6, rows(4, 16))},
        {"RGBA 8", pngFile(kWidth, kHeight, 8, 6, rows(4, 8))},
        {"grey 8", pngFile(kWidth, kHeight, 8, 0, rows(1, 8))},
        {"palette with clear entries",
         pngFile(kWidth, kHeight, 8, 3, indices, {{"PLTE", palette}, {"tRNS", {0, 0, 128}}})},
        {"10,000 text chunks", pngFile(kWidth, kHeight, 8, 6, rows(4, 8), texts)},
        {"a text chunk of 16 MB", pngFile(kWidth, kHeight, 8, 6, rows(4, 8), {{"tEXt", longText}})},
        {"a text chunk with a wrong checksum", badText},
        {"a clear colour with a wrong checksum", badClear},
    };
    const std::vector<std::pair<std::string, Bytes>> refused = {
        {"IHDR checksum wrong", damaged(29)},
        {"IDAT checksum wrong", damaged(rgba.size() - 13)},
    };
    TempFolder folder;
    // Built anew with colour tables of the image's own, too: median cut must
    // choose the same colours in both, dithered or not.
    const std::string manifest =
        "[database]\nname = \"X\"\ntype = \"rsrc\"\ncreator = \"sBar\"\ncreated = 1\n"
        "modified = 1\n[[resource]]\ntype = \"abmp\"\nid = 1\n[[resource.member]]\n"
        "image = \"image.png\"\ndepth = 8\ncolours = 16\ndither = true\n[[resource]]\n"
        "type = \"abmp\"\nid = 2\n[[resource.member]]\nimage = \"image.png\"\ndepth = 8\n"
        "colours = \"image\"\n";
    writeFile(folder / "skin.toml", Bytes(manifest.begin(), manifest.end()));
    for (const auto& [name, png] : kinds) {
        SCOPED_TRACE(name);
        writeFile(folder / "image.png", png);
        std::map<bool, Bytes> written;
        std::map<bool, Bytes> built;
        for (const bool windows : {false, true}) {
            const RunResult run =
                lumen(windows, "replace",
                      {SAMPLE_SKIN_PATH, "31020", folder / "image.png", folder / "out.prc"});
            EXPECT_EQ(run.exitStatus, 0) << run.err;
            written[windows] = readFile(folder / "out.prc");
            fs::remove(folder / "out.prc");
            const RunResult build = lumen(windows, "build", {folder.path, folder / "built.prc"});
            EXPECT_EQ(build.exitStatus, 0) << build.err;
            built[windows] = readFile(folder / "built.prc");
            fs::remove(folder / "built.prc");
        }
        EXPECT_EQ(written[true], written[false]);
        EXPECT_NE(written[false], readFile(SAMPLE_SKIN_PATH));
        EXPECT_EQ(built[true], built[false]);
    }
    for (const auto& [name, png] : refused) {
        SCOPED_TRACE(name);
        writeFile(folder / "image.png", png);
        for (const bool windows : {false, true}) {
            const RunResult run =
                lumen(windows, "replace",
                      {SAMPLE_SKIN_PATH, "31020", folder / "image.png", folder / "out.prc"});
            EXPECT_EQ(run.exitStatus, 1) << windows;
            EXPECT_NE(run.err.find("image.png: the PNG file is damaged or cut short"),
                      std::string::npos)
                << windows << run.err;
            EXPECT_FALSE(fs::exists(folder / "out.prc")) << windows;
        }
    }
}

#endif

}  // namespace
