// Runs the built Recast on real files and checks every byte it changes.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "skin_builder.h"
#include "small_disk.h"

namespace {

namespace fs = std::filesystem;
using skinbuilder::DatabaseLayout;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;
using testsupport::writeFile;

const std::string kSuccess = "Success: Conversion to Orvane format successful.\n";
const std::string kWritingStage =
    "Error: Error in writing stage.  The skin may have become corrupted--get a new copy before "
    "doing anything more with it.\n";

RunResult recast(const std::vector<std::string>& arguments, const std::string& input = "",
                 const std::vector<std::string>& environment = {}) {
    std::vector<std::string> all = {RECAST_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return testsupport::runProgram(all, input, environment);
}

DatabaseLayout skinLayout(const std::string& type, const std::string& creator,
                          std::vector<std::pair<std::string, std::uint16_t>> entries) {
    DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("An old database name that is long");
    layout.type = type;
    layout.creator = creator;
    layout.attributes = 0x0021;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        layout.resources.push_back(
            {entries[i].first, entries[i].second, Bytes(3 + i, static_cast<std::uint8_t>(i))});
    }
    return layout;
}

struct Expected {
    std::string namePattern;         // the text before the NUL; '#' is a lowercase hex digit
    std::vector<std::string> types;  // every directory entry's type afterwards
};

bool matchesPattern(const std::string& text, const std::string& pattern) {
    return std::equal(text.begin(), text.end(), pattern.begin(), pattern.end(), [](char t, char p) {
        return p == '#' ? std::isdigit(static_cast<unsigned char>(t)) || (t >= 'a' && t <= 'f')
                        : t == p;
    });
}

// Everything but the listed fields is unchanged; the fields hold what they must.
void expectConverted(const Bytes& before, const Bytes& after, const Expected& expected) {
    ASSERT_EQ(after.size(), before.size());
    const auto nul = std::find(after.begin(), after.begin() + 32, 0);
    ASSERT_NE(nul, after.begin() + 32) << "the name has no NUL";
    const std::string name(after.begin(), nul);
    EXPECT_TRUE(matchesPattern(name, expected.namePattern)) << name;
    Bytes patched = before;
    std::copy(after.begin(), nul + 1, patched.begin());  // bytes after the NUL stay
    patched[33] &= 0xDF;
    std::copy_n("rsrc", 4, patched.begin() + 60);
    std::copy_n("T3sk", 4, patched.begin() + 64);
    for (std::size_t i = 0; i < expected.types.size(); ++i) {
        std::copy_n(
            expected.types[i].begin(), 4,
            patched.begin() + static_cast<std::ptrdiff_t>(skinbuilder::directoryEntryAt(i)));
    }
    EXPECT_EQ(after, patched);
}

struct ConversionCase {
    const char* fileName;
    DatabaseLayout layout;
    Expected expected;
};

TEST(RecastConversion, ConvertsStatusBarAndWifiSkins) {
    const auto statusBar = [](const char* creator) {
        return skinLayout("rsrc", creator,
                          {{"ovly", 1}, {"OVLY", 2}, {"Ovly", 3}, {"abmp", 25099}, {"ovly", 4}});
    };
    const std::vector<std::string> statusBarTypes = {"OVLY", "OVLY", "Ovly", "abmp", "OVLY"};
    const DatabaseLayout wifi = skinLayout("aext", "WiSl",
                                           {{"abmp", 25099},
                                            {"abmp", 25100},
                                            {"abmp", 25262},
                                            {"abmp", 25263},
                                            {"ovly", 25150},
                                            {"_xyz", 7},
                                            {"tSTR", 1000}});
    const std::vector<std::string> wifiTypes = {"_bmp", "abmp", "abmp", "_bmp",
                                                "_vly", "_xyz", "_STR"};
    const std::vector<ConversionCase> cases = {
        {"Blue.prc", statusBar("sBar"), {"Blue", statusBarTypes}},
        {"Blue.old.prc", statusBar("F3BG"), {"Blue", statusBarTypes}},
        {"Blue", statusBar("sBar"), {"Blue", statusBarTypes}},
        {"ThisBaseNameIsFortyCharactersLongXXXXXXX.prc",
         statusBar("sBar"),
         {"ThisBaseNameIsFortyCharactersLo", statusBarTypes}},
        {"StatusBarResources.prc", statusBar("sBar"), {"Converted skin [####]", statusBarTypes}},
        {"statusbarresources.prc", statusBar("sBar"), {"statusbarresources", statusBarTypes}},
        {"Blue.prc", wifi, {"Converted WiFi skin [####]", wifiTypes}},
        {"StatusBarResources.prc", wifi, {"Converted skin [####]", wifiTypes}},
        {"statusbarresources.prc", wifi, {"Converted WiFi skin [####]", wifiTypes}},
        {"Empty.prc", skinLayout("rsrc", "sBar", {}), {"Empty", {}}},
    };
    for (const ConversionCase& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempFolder folder;
        fs::create_directory(folder / "my.skins");
        const fs::path path = folder / "my.skins" / c.fileName;
        const Bytes before = skinbuilder::buildDatabase(c.layout);
        writeFile(path, before);

        const RunResult run = recast({path});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, kSuccess);
        const Bytes after = readFile(path);
        expectConverted(before, after, c.expected);

        const RunResult again = recast({path});
        EXPECT_EQ(again.exitStatus, 1);
        EXPECT_EQ(again.err, "Error: This skin has already been converted.\n");
        EXPECT_EQ(readFile(path), after);
    }
}

TEST(RecastConversion, ClearsOnlyTheResetBit) {
    for (const std::uint16_t attributes : {0x0021, 0x0001, 0xFFFF, 0x0020}) {
        TempFolder folder;
        DatabaseLayout layout = skinLayout("rsrc", "sBar", {{"abmp", 1}});
        layout.attributes = attributes;
        writeFile(folder / "Blue.prc", skinbuilder::buildDatabase(layout));
        ASSERT_EQ(recast({folder / "Blue.prc"}).exitStatus, 0);
        const Bytes after = readFile(folder / "Blue.prc");
        EXPECT_EQ((after[32] << 8) | after[33], attributes & ~0x0020) << attributes;
    }
}

struct Refusal {
    const char* name;
    std::string fileName;
    std::function<Bytes()> file;
    std::string err;
};

TEST(RecastConversion, RefusalsLeaveTheFileUnchanged) {
    const auto layoutFile = [](const char* type, const char* creator) {
        return [=] { return skinbuilder::buildDatabase(skinLayout(type, creator, {{"ovly", 1}})); };
    };
    const auto truncated = [](std::size_t size) {
        return [=] {
            DatabaseLayout layout = skinLayout("rsrc", "sBar", {});
            layout.gapBytes = 2;
            Bytes file = skinbuilder::buildDatabase(layout);
            file.resize(size);
            return file;
        };
    };
    const std::string readError = "Error: Error reading input file.\n";
    const std::vector<Refusal> cases = {
        {"78 bytes", "Blue.prc", truncated(78), readError},
        {"79 bytes", "Blue.prc", truncated(79), readError},
        {"empty file", "Blue.prc", [] { return Bytes{}; }, readError},
        {"already converted", "Blue.prc", layoutFile("rsrc", "T3sk"),
         "Error: This skin has already been converted.\n"},
        {"aext from sBar", "Blue.prc", layoutFile("aext", "sBar"),
         "Error: The input file is not a supported skin.\n"},
        {"rsrc from WiSl", "Blue.prc", layoutFile("rsrc", "WiSl"),
         "Error: The input file is not a supported skin.\n"},
        {"a compressed skin", "Blue.prc", layoutFile("skin", "skUI"),
         "Error: The input file is not a supported skin.\n"},
        {"a name that is only an extension", ".prc", layoutFile("rsrc", "sBar"),
         "Error: The input filename is invalid.  Rename file to something saner.\n"},
        {"a directory longer than the file", "Blue.prc",
         [] {
             Bytes file = skinbuilder::buildDatabase(skinLayout("rsrc", "sBar", {{"ovly", 1}}));
             file[77] = 9;  // nine entries promised, one present
             return file;
         },
         readError},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const Bytes before = c.file();
        writeFile(folder / c.fileName, before);
        const RunResult run = recast({folder / c.fileName});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(readFile(folder / c.fileName), before);
    }
}

TEST(RecastCommandLine, PathsThatCannotBeOpened) {
    TempFolder folder;
    fs::create_directory(folder / "a folder");
    const std::string tooLong = (folder / std::string(300, 'x')).string();
    for (const std::string& path :
         {(folder / "missing.prc").string(), (folder / "a folder").string(), tooLong}) {
        const RunResult run = recast({path});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, "Error: Error reading input file.\n");
    }
    EXPECT_TRUE(fs::is_empty(folder / "a folder"));
}

TEST(RecastCommandLine, ChoosesTheFileFromStandardInput) {
    TempFolder folder;
    const Bytes skin = skinbuilder::buildDatabase(skinLayout("rsrc", "sBar", {{"ovly", 1}}));
    fs::create_directory(folder / "a folder");
    const std::string path = (folder / "Blue.prc").string();
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string input;
        int exitStatus;
        std::string err;
        bool converted;
        // Run in the least address space that the program loads in, found
        // by trying, so that copying its arguments is what runs out.
        bool leastMemory = false;
        // Of the program's streams, as the shell writes it; its messages are
        // then lost rather than captured.
        std::string redirection = {};
    };
    const std::string longArgument(120000, 'a');
    const std::vector<Case> cases = {
        {"no input at all cancels", {}, "", 0, "", false},
        {"an empty line cancels", {}, "\n" + path + "\n", 0, "", false},
        {"a path is converted", {}, path + "\n", 0, kSuccess, true},
        {"a path without a line end", {}, path, 0, kSuccess, true},
        {"a path with CR LF", {}, path + "\r\n", 0, kSuccess, true},
        {"two arguments are ignored", {path, path}, path + "\n", 0, kSuccess, true},
        {"a missing file is asked again",
         {},
         (folder / "nope.prc").string() + "\n" + path + "\n",
         0,
         (folder / "nope.prc").string() + "\nFile not found.\n" + kSuccess,
         true},
        {"a folder is refused, then the input ends",
         {},
         (folder / "a folder").string() + "\n",
         0,
         (folder / "a folder").string() + "\nFile not found.\n",
         false},
        {"an overlong line is refused",
         {},
         std::string(400, 'y') + "\n",
         0,
         "Path too long: at most 259 characters.\n",
         false},
        {"arguments that do not fit in memory", std::vector<std::string>(15, longArgument),
         path + "\n", 1, "Error: Out of memory.\n", false, true},
        // A message that is lost fails the run, though the file is converted;
        // standard output carries none.
        {"the success message lost", {path}, "", 1, "", true, false, "2>/dev/full"},
        {"a refusal lost, then the input ends",
         {},
         (folder / "a folder").string() + "\n",
         1,
         "",
         false,
         false,
         "2>/dev/full"},
        {"no input at all, nothing to lose", {}, "", 0, "", false, false, "2>/dev/full"},
        {"standard output full", {path}, "", 0, kSuccess, true, false, ">/dev/full"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, skin);
        if (c.leastMemory && !testsupport::kAddressSpaceCanBeLimited) {
            continue;
        }
        RunResult run;
        if (c.leastMemory) {
            std::vector<std::string> command = {RECAST_PATH};
            command.insert(command.end(), c.arguments.begin(), c.arguments.end());
            // Status 127: the loader found no room for the libraries yet.
            for (std::size_t space = 4 << 20; space < (64 << 20); space += 256 << 10) {
                run = testsupport::runProgram(testsupport::withinAddressSpace(space, command),
                                              c.input);
                if (run.exitStatus != 127) {
                    break;
                }
            }
        } else {
            std::vector<std::string> command = {RECAST_PATH};
            command.insert(command.end(), c.arguments.begin(), c.arguments.end());
            run = testsupport::runProgram(testsupport::withRedirection(c.redirection, command),
                                          c.input);
        }
        EXPECT_EQ(run.exitStatus, c.exitStatus);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, c.err);
        EXPECT_EQ(readFile(path) != skin, c.converted);
    }
}

TEST(RecastFaults, FailedCallsAndAShrinkingFileEndWithTheirMessage) {
    const Bytes skin = skinbuilder::buildDatabase(
        skinLayout("rsrc", "sBar", {{"abmp", 1}, {"ovly", 2}, {"ovly", 3}}));
    enum class Left { unchanged, headerWritten, cutShort };
    struct Case {
        const char* name;
        std::string fault;
        std::string err;
        Left left;
    };
    const std::vector<Case> cases = {
        {"the header cannot be read", "FAULT_FREAD=1", "Error: Error reading input file.\n",
         Left::unchanged},
        {"the header write fails", "FAULT_FWRITE_FROM=1", kWritingStage, Left::unchanged},
        {"an entry write fails", "FAULT_FWRITE_FROM=2", kWritingStage, Left::headerWritten},
        {"the directory cannot be read", "FAULT_FGETC_FROM=1", kWritingStage, Left::headerWritten},
        {"an entry cannot be read", "FAULT_FGETC_FROM=9", kWritingStage, Left::headerWritten},
        {"the close fails", "FAULT_FCLOSE=1", kWritingStage, Left::headerWritten},
        // Another program cut the file after the header was written.
        {"the file shrinks during the conversion", "FAULT_SHRINK_AFTER_FWRITE=0", kWritingStage,
         Left::cutShort},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        writeFile(folder / "Blue.prc", skin);
        const RunResult run = recast(
            {folder / "Blue.prc"}, "",
            // A sanitized build must accept the shim loaded before its runtime.
            {"LD_PRELOAD=" FAULT_SHIM_PATH, c.fault, "ASAN_OPTIONS=verify_asan_link_order=0"});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.err, c.err);
        const Bytes after = readFile(folder / "Blue.prc");
        switch (c.left) {
            case Left::unchanged:
                EXPECT_EQ(after, skin);
                break;
            case Left::headerWritten:
                ASSERT_EQ(after.size(), skin.size());
                EXPECT_TRUE(std::equal(after.begin() + 60, after.begin() + 68, "rsrcT3sk"));
                EXPECT_EQ(recast({folder / "Blue.prc"}).err,
                          "Error: This skin has already been converted.\n");
                break;
            case Left::cutShort:
                EXPECT_EQ(after.size(), 80u);  // what was written before the cut
                break;
        }
    }
}

// Patching in place needs no new room, so a full disk does not stop a
// conversion; a read-only one refuses the file before anything is read.
TEST(RecastFaults, FullAndReadOnlyDisks) {
    const Bytes skin =
        skinbuilder::buildDatabase(skinLayout("rsrc", "sBar", {{"abmp", 1}, {"ovly", 2}}));
    TempFolder folder;
    const testsupport::SmallDisk disk(folder / "disk");
    REQUIRE_SMALL_DISK(disk);
    writeFile(folder / "disk" / "Full.prc", skin);
    writeFile(folder / "disk" / "Locked.prc", skin);
    disk.fill();

    const RunResult onFullDisk = recast({folder / "disk" / "Full.prc"});
    EXPECT_EQ(onFullDisk.exitStatus, 0);
    EXPECT_EQ(onFullDisk.err, kSuccess);
    expectConverted(skin, readFile(folder / "disk" / "Full.prc"), {"Full", {"abmp", "OVLY"}});

    ASSERT_TRUE(disk.makeReadOnly());
    const RunResult onReadOnlyDisk = recast({folder / "disk" / "Locked.prc"});
    EXPECT_EQ(onReadOnlyDisk.exitStatus, 1);
    EXPECT_EQ(onReadOnlyDisk.err, "Error: Error reading input file.\n");
    EXPECT_EQ(readFile(folder / "disk" / "Locked.prc"), skin);
}

}  // namespace
