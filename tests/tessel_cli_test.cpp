// Runs the built Tessel on real files and checks what it prints and writes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "compressed_bitmap.h"
#include "console_window.h"
#include "files.h"
#include "known_runs.h"
#include "palm_pdb_view.h"
#include "required_tool.h"
#include "skin_builder.h"

namespace {

namespace fs = std::filesystem;
using skinbuilder::DatabaseLayout;
using skinbuilder::Resource;
using testsupport::Bytes;
using testsupport::folderContents;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;
using testsupport::writeFile;

const std::string kUsage =
    "USAGE: Tessel.exe someSkin.prc [compressedSkinFilename.prc]\n"
    " to compress \"someSkin.prc\", and call the result \"compressedSkinFilename.prc\"\n";

RunResult tessel(const std::vector<std::string>& paths) {
    std::vector<std::string> arguments = {TESSEL_PATH};
    arguments.insert(arguments.end(), paths.begin(), paths.end());
    return testsupport::runProgram(arguments);
}

// Palm::PDB, an independent reader, must see what our reader sees.
void expectPalmPdbAgrees(const fs::path& database) {
    const RunResult view = testsupport::runProgram({"/usr/bin/perl", PALM_PDB_VIEW, database});
    REQUIRE_TOOL(view.exitStatus == 0 || view.err.find("Can't locate Palm") == std::string::npos,
                 "REQUIRE_PALM_PDB", "Palm::PDB (libpalm-perl) is not installed");
    ASSERT_EQ(view.exitStatus, 0) << view.err;
    EXPECT_EQ(view.out, testsupport::palmPdbView(readFile(database))) << database;
}

Bytes bitmapWithByte27(std::uint8_t value) {
    Bytes bitmap = skinbuilder::directColorBitmap(32, 32, [](int x, int) {
        return skinbuilder::Rgb{static_cast<std::uint8_t>(x / 8 * 64), 128, 40};
    });
    bitmap[27] = value;
    return bitmap;
}

Bytes randomBytes(std::size_t n, unsigned seed) {
    std::mt19937 random(seed);
    Bytes out(n);
    for (auto& byte : out) {
        byte = static_cast<std::uint8_t>(random());
    }
    return out;
}

Bytes flat(std::size_t n) {
    return Bytes(n, 0x5A);
}

// The bitmap that a run stored for a resource, decoded when it is a container.
Bytes storedBitmap(const Bytes& data) {
    if (data.size() >= 4 && std::equal(data.begin(), data.begin() + 4, "cBMP")) {
        const bitmapcodec::Decoded decoded = bitmapcodec::decodeCompressedBitmap(data);
        EXPECT_EQ(decoded.error, nullptr);
        return decoded.bytes;
    }
    return data;
}

struct DatabaseCase {
    const char* name;
    std::vector<Resource> resources;
    std::function<void(const RunResult&, const Bytes& output)> check;
};

std::size_t load32(const Bytes& file, std::size_t at) {
    return (std::size_t{file[at]} << 24) | (std::size_t{file[at + 1]} << 16) |
           (std::size_t{file[at + 2]} << 8) | file[at + 3];
}

// The resources of a database whose data lie in directory order, read here
// rather than by the library's reader.
std::vector<Resource> resourcesOf(const Bytes& file) {
    std::vector<Resource> resources;
    const std::size_t count = (std::size_t{file[76]} << 8) | file[77];
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = skinbuilder::directoryEntryAt(i);
        const std::size_t begin = load32(file, skinbuilder::offsetFieldAt(i));
        const std::size_t end =
            i + 1 < count ? load32(file, skinbuilder::offsetFieldAt(i + 1)) : file.size();
        resources.push_back({std::string(file.begin() + static_cast<long>(entry),
                                         file.begin() + static_cast<long>(entry) + 4),
                             static_cast<std::uint16_t>((file[entry + 4] << 8) | file[entry + 5]),
                             Bytes(file.begin() + static_cast<long>(begin),
                                   file.begin() + static_cast<long>(end))});
    }
    return resources;
}

std::vector<Bytes> outputResources(const Bytes& output) {
    std::vector<Bytes> data;
    for (Resource& resource : resourcesOf(output)) {
        data.push_back(std::move(resource.data));
    }
    return data;
}

std::string imageLine(int id, std::size_t from, std::size_t to) {
    return "Image " + std::to_string(id) + " compressed from " + std::to_string(from) + " to " +
           std::to_string(to) + " bytes!\n";
}

// What every run must have done, whatever the encoder chose: the input's
// resources in order less the first id-0 PlRC, each bitmap as it was (byte 27
// rewritten from 2 to 1 when a PlRC went) or a smaller container that decodes
// to it, one line per container written, totals that add up, and the header
// of a compressed skin.
void expectFaithfulRun(const Bytes& input, const RunResult& run, const Bytes& output) {
    std::vector<Resource> kept = resourcesOf(input);
    const auto settings = std::find_if(
        kept.begin(), kept.end(), [](const Resource& r) { return r.type == "PlRC" && r.id == 0; });
    const bool removed = settings != kept.end();
    std::string out = "File has " + std::to_string(kept.size()) + " resrouces\n";
    if (removed) {
        kept.erase(settings);
    }
    const std::vector<Resource> stored = resourcesOf(output);
    ASSERT_EQ(stored.size(), kept.size());
    std::int64_t before = 0;
    std::int64_t after = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        SCOPED_TRACE("resource " + std::to_string(i));
        Bytes want = kept[i].data;
        const bool bitmap = kept[i].type == "abmp";
        const bool container =
            want.size() >= 4 && std::equal(want.begin(), want.begin() + 4, "cBMP");
        if (bitmap && removed && !container && want.size() > 27 && want[27] == 2) {
            want[27] = 1;
        }
        EXPECT_EQ(stored[i].type, kept[i].type);
        EXPECT_EQ(stored[i].id, kept[i].id);
        before += static_cast<std::int64_t>(want.size());
        after += static_cast<std::int64_t>(stored[i].data.size());
        if (bitmap && stored[i].data != want) {
            EXPECT_LT(stored[i].data.size(), want.size());
            EXPECT_EQ(storedBitmap(stored[i].data), want);
            out += imageLine(kept[i].id, want.size(), stored[i].data.size());
        } else {
            EXPECT_EQ(stored[i].data, want);
        }
    }
    out += "\nTotal compression: " + std::to_string(before) + "->" + std::to_string(after) +
           " bytes\n";
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(std::string(output.begin() + 60, output.begin() + 68), "skinskUI");
    EXPECT_EQ(Bytes(output.begin(), output.begin() + 32), Bytes(input.begin(), input.begin() + 32));
}

bool printsImageLine(const RunResult& run, int id) {
    return run.out.find("Image " + std::to_string(id) + " compressed") != std::string::npos;
}

TEST(TesselCommandLine, WrongArgumentCountsPrintTheUsageOnly) {
    TempFolder folder;
    const std::vector<std::vector<std::string>> argumentLists = {
        {},
        {folder / "a.prc", folder / "b.prc", folder / "c.prc"},
    };
    for (const auto& arguments : argumentLists) {
        const RunResult run = tessel(arguments);
        EXPECT_EQ(run.out, kUsage);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.exitStatus, 255);  // -1
        EXPECT_TRUE(fs::is_empty(folder.path));
        // Wrong arguments stay wrong arguments when the usage is lost as well.
        std::vector<std::string> command = {TESSEL_PATH};
        command.insert(command.end(), arguments.begin(), arguments.end());
        const RunResult lost =
            testsupport::runProgram(testsupport::withRedirection(">/dev/full", command));
        EXPECT_EQ(lost.err, "");
        EXPECT_EQ(lost.exitStatus, 255);
    }
}

// Tessel's output is read by scripts: it may ask for a key only in a window
// that Windows opened for it alone, with no stream redirected.
TEST(TesselCommandLine, OnlyAWindowOfItsOwnIsHeldOpenForAKey) {
    struct Case {
        const char* name;
        platform::ConsoleFacts facts;
        bool waits;
    };
    const std::vector<Case> cases = {
        {"started from Explorer", {1, true, true, true, false}, true},
        {"from a shell in that console", {2, true, true, true, false}, false},
        {"no console", {0, false, false, false, false}, false},
        {"input from a file or pipe", {1, false, true, true, false}, false},
        {"report into a file", {1, true, false, true, false}, false},
        {"errors into a file", {1, true, true, false, false}, false},
        {"from a Unix terminal under Wine", {1, true, true, true, true}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::waitsForKeyBeforeClosing(c.facts), c.waits) << c.name;
    }
}

TEST(TesselPass, GeneratedDatabases) {
    const std::vector<DatabaseCase> cases = {
        {"no resources",
         {},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_EQ(run.out, "File has 0 resrouces\n\nTotal compression: 0->0 bytes\n");
             EXPECT_EQ(output.size(), 78u);
         }},
        {"only an id-0 PlRC",
         {{"PlRC", 0, Bytes(30, 1)}},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_EQ(run.out, "File has 1 resrouces\n\nTotal compression: 0->0 bytes\n");
             EXPECT_EQ(output.size(), 78u);
         }},
        {"two id-0 PlRC: the second stays",
         {{"PlRC", 0, Bytes(3, 1)}, {"tSTR", 5, Bytes(4, 2)}, {"PlRC", 0, Bytes(5, 3)}},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_EQ(run.out, "File has 3 resrouces\n\nTotal compression: 9->9 bytes\n");
             EXPECT_EQ(outputResources(output), (std::vector<Bytes>{Bytes(4, 2), Bytes(5, 3)}));
         }},
        {"PlRC with id 1 is kept and sets no flag",
         {{"abmp", 100, bitmapWithByte27(2)}, {"PlRC", 1, Bytes(3, 1)}},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_TRUE(printsImageLine(run, 100));
             EXPECT_EQ(storedBitmap(outputResources(output)[0]), bitmapWithByte27(2));
         }},
        {"PlRC after the bitmaps still sets the flag for them",
         {{"abmp", 100, bitmapWithByte27(2)},
          {"abmp", 31003, bitmapWithByte27(2)},
          {"abmp", 101, bitmapWithByte27(3)},
          {"PlRC", 0, Bytes(7, 1)}},
         [](const RunResult& run, const Bytes& output) {
             const std::vector<Bytes> stored = outputResources(output);
             ASSERT_EQ(stored.size(), 3u);
             EXPECT_EQ(storedBitmap(stored[0]), bitmapWithByte27(1));
             EXPECT_EQ(stored[1], bitmapWithByte27(1));  // kept raw, rewritten all the same
             EXPECT_EQ(storedBitmap(stored[2]), bitmapWithByte27(3));
             EXPECT_FALSE(printsImageLine(run, 31003));
         }},
        {"keep-raw ids and their neighbours",
         {{"abmp", 31003, flat(500)},
          {"abmp", 31145, flat(500)},
          {"abmp", 31999, flat(500)},
          {"abmp", 31139, flat(500)},
          {"abmp", 31148, flat(500)},
          {"abmp", 0, flat(500)}},
         [](const RunResult& run, const Bytes& output) {
             for (const int id : {31003, 31145, 31999}) {
                 EXPECT_FALSE(printsImageLine(run, id)) << id;
             }
             for (const int id : {31139, 31148, 0}) {
                 EXPECT_TRUE(printsImageLine(run, id)) << id;
             }
             const std::vector<Bytes> stored = outputResources(output);
             EXPECT_EQ(stored[0], flat(500));
             EXPECT_EQ(storedBitmap(stored[5]), flat(500));
         }},
        {"incompressible and already compressed bitmaps stay",
         {{"abmp", 7, randomBytes(3000, 1)},
          {"abmp", 8,
           [] {
               Bytes container = randomBytes(200, 2);
               std::copy_n("cBMP", 4, container.begin());
               return container;
           }()}},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_EQ(run.out, "File has 2 resrouces\n\nTotal compression: 3200->3200 bytes\n");
             EXPECT_EQ(outputResources(output)[0], randomBytes(3000, 1));
         }},
        {"ids from 32768 print as positive numbers",
         {{"abmp", 65535, flat(100)}},
         [](const RunResult& run, const Bytes&) {
             EXPECT_TRUE(printsImageLine(run, 65535)) << run.out;
         }},
        {"type codes compare exactly",
         {{"ABMP", 1, flat(100)}, {"abm ", 2, flat(100)}, {"plrc", 0, flat(100)}},
         [](const RunResult& run, const Bytes& output) {
             EXPECT_EQ(run.out, "File has 3 resrouces\n\nTotal compression: 300->300 bytes\n");
             EXPECT_EQ(outputResources(output), std::vector<Bytes>(3, flat(100)));
         }},
        {"empty resources keep their places",
         {{"abmp", 1, {}}, {"tSTR", 2, {}}, {"abmp", 3, flat(64)}, {"tSTR", 4, {}}},
         [](const RunResult&, const Bytes& output) {
             const std::vector<Bytes> stored = outputResources(output);
             ASSERT_EQ(stored.size(), 4u);
             EXPECT_TRUE(stored[0].empty());
             EXPECT_TRUE(stored[1].empty());
             EXPECT_TRUE(stored[3].empty());
         }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const DatabaseCase& c = cases[i];
        SCOPED_TRACE(c.name);
        TempFolder folder;
        DatabaseLayout layout;
        layout.name = skinbuilder::databaseName("Case " + std::to_string(i));
        layout.resources = c.resources;
        const Bytes input = skinbuilder::buildDatabase(layout);
        writeFile(folder / "in.prc", input);

        const RunResult run = tessel({folder / "in.prc", folder / "out.prc"});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.err, "");
        const Bytes output = readFile(folder / "out.prc");
        expectFaithfulRun(input, run, output);
        EXPECT_EQ(readFile(folder / "in.prc"), input);
        c.check(run, output);
        expectPalmPdbAgrees(folder / "in.prc");
        expectPalmPdbAgrees(folder / "out.prc");

        // Unless an id-0 PlRC resource is left to remove, the output is a fixed
        // point: compressing it again changes nothing.
        const RunResult again = tessel({folder / "out.prc", folder / "again.prc"});
        EXPECT_EQ(again.exitStatus, 0);
        const auto isSettings = [](const Resource& r) { return r.type == "PlRC" && r.id == 0; };
        if (std::count_if(c.resources.begin(), c.resources.end(), isSettings) < 2) {
            EXPECT_EQ(readFile(folder / "again.prc"), output);
        }
    }
}

TEST(TesselPass, SkinsOfTheCorpusAndTheSample) {
    std::vector<fs::path> skins = {SAMPLE_SKIN_PATH};
    for (const auto& entry : fs::directory_iterator(CORPUS_DIR)) {
        if (entry.path().extension() == ".prc") {
            skins.push_back(entry.path());
        }
    }
    for (const fs::path& skin : skins) {
        SCOPED_TRACE(skin.string());
        TempFolder folder;
        const Bytes input = readFile(skin);
        const RunResult run = tessel({skin, folder / "out.prc"});
        const testsupport::KnownRun& known = testsupport::knownRun(skin.filename().string());
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(run.out, known.out);
        EXPECT_EQ(testsupport::sha256Of(folder / "out.prc"), known.sha256);
        expectFaithfulRun(input, run, readFile(folder / "out.prc"));
        // Statistics that a full disk refuses fail the run, and say so on
        // standard error; the database is written all the same.
        const RunResult lost = testsupport::runProgram(
            testsupport::withRedirection(">/dev/full", {TESSEL_PATH, skin, folder / "lost.prc"}));
        EXPECT_EQ(lost.exitStatus, 1);
        EXPECT_EQ(lost.err, "ERR: cannot write the report to standard output!\n");
        EXPECT_EQ(testsupport::sha256Of(folder / "lost.prc"), known.sha256);
        expectPalmPdbAgrees(skin);
        expectPalmPdbAgrees(folder / "out.prc");
    }
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

TEST(TesselFiles, OnePathReplacesTheInputAndKeepsItsMode) {
    TempFolder folder;
    const Bytes input = readFile(SAMPLE_SKIN_PATH);
    writeFile(folder / "skin.prc", input);
    fs::permissions(folder / "skin.prc", fs::perms(0640));

    const RunResult run = tessel({folder / "skin.prc"});
    EXPECT_EQ(run.exitStatus, 0);
    const testsupport::KnownRun& expected = testsupport::knownRun("sample-skin.prc");
    EXPECT_EQ(run.out, expected.out);
    EXPECT_EQ(testsupport::sha256Of(folder / "skin.prc"), expected.sha256);
    EXPECT_EQ(fs::status(folder / "skin.prc").permissions(), fs::perms(0640));
    EXPECT_EQ(folderContents(folder.path), std::vector<std::string>{"skin.prc"});
}

TEST(TesselFiles, ANewOutputGetsTheUmaskMode) {
    // Up to the longest name a file may have (255 bytes): the temporary
    // file's name must fit wherever the output's does, cut between the
    // characters of a multibyte name.
    std::string euros;
    for (int k = 0; k < 83; ++k) {
        euros += "\u20ac";
    }
    std::string acutes;
    for (int k = 0; k < 125; ++k) {
        acutes += "\u00e9";
    }
    const std::vector<std::string> names = {
        "new.prc",
        std::string(244, 'a') + ".prc",
        std::string(251, 'b') + ".prc",
        acutes + ".prc",        // 254 bytes
        euros + "ab.prc",       // 255 bytes
        std::string(248, 'c'),  // 248 bytes
    };
    for (const std::string& name : names) {
        SCOPED_TRACE(std::to_string(name.size()) + " bytes");
        TempFolder folder;
        const RunResult run = tessel({SAMPLE_SKIN_PATH, folder / name});
        EXPECT_EQ(run.exitStatus, 0);
        EXPECT_EQ(fs::status(folder / name).permissions(), fs::perms(0777 & ~currentUmask()));
        EXPECT_EQ(folderContents(folder.path), std::vector<std::string>{name});
        // And in place, over the file of that name.
        EXPECT_EQ(tessel({folder / name}).exitStatus, 0);
        EXPECT_EQ(folderContents(folder.path), std::vector<std::string>{name});
    }
}

TEST(TesselFiles, ASymbolicLinkStaysALinkToTheNewContent) {
    TempFolder folder;
    fs::create_directory(folder / "real");
    writeFile(folder / "real" / "target.prc", Bytes(10, 1));
    fs::create_symlink("real/target.prc", folder / "link.prc");

    const RunResult run = tessel({SAMPLE_SKIN_PATH, folder / "link.prc"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(folder / "link.prc"));
    EXPECT_EQ(testsupport::sha256Of(folder / "real" / "target.prc"),
              testsupport::knownRun("sample-skin.prc").sha256);
    EXPECT_EQ(folderContents(folder / "real"), std::vector<std::string>{"target.prc"});
}

TEST(TesselFiles, DevicesAreWrittenInPlaceNeverReplaced) {
    const RunResult toNull = tessel({SAMPLE_SKIN_PATH, "/dev/null"});
    EXPECT_EQ(toNull.exitStatus, 0);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));

    const RunResult toFull = tessel({SAMPLE_SKIN_PATH, "/dev/full"});
    EXPECT_EQ(toFull.exitStatus, 1);
    const std::string expectedOut =
        testsupport::knownRun("sample-skin.prc").out + "ERR: cannot write output file!\n";
    EXPECT_EQ(toFull.out, expectedOut);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

struct BadInput {
    const char* name;
    std::function<void(const fs::path&)> make;  // creates the input at the path
    std::string out;
    bool inOneGigabyte = false;  // run within 1 GB of address space
};

TEST(TesselFiles, BadInputsLeaveInputAndOutputUntouched) {
    const Bytes good = readFile(SAMPLE_SKIN_PATH);
    const auto damaged = [&](std::function<void(Bytes&)> damage) {
        return [=](const fs::path& path) {
            Bytes bytes = good;
            damage(bytes);
            writeFile(path, bytes);
        };
    };
    const std::string totals = "\nTotal compression: 0->0 bytes\n";
    const std::vector<BadInput> cases = {
        {"missing", [](const fs::path&) {}, "ERR: cannot open source file!\n" + totals},
        {"a folder", [](const fs::path& p) { fs::create_directory(p); },
         "ERR: cannot open source file!\n" + totals},
        {"shorter than a header", damaged([](Bytes& b) { b.resize(40); }),
         "ERR: source file is shorter than a database header!\n" + totals},
        {"a second record list", damaged([](Bytes& b) { b[75] = 1; }),
         "ERR: more then one record list in a PRC file is unsupported!\n" + totals},
        {"directory past the end", damaged([](Bytes& b) { b.resize(100); }),
         "File has 13 resrouces\nERR: resource directory runs past the end of the source "
         "file!\n" +
             totals},
        {"offset past the end", damaged([](Bytes& b) { b[84] = 0x7F; }),
         "File has 13 resrouces\nERR: resource data lies past the end of the source file!\n" +
             totals},
        // Memory running out: the file itself, or the search index of one bitmap.
        {"3 GB of zeros",
         [](const fs::path& p) {
             writeFile(p, {});
             fs::resize_file(p, 3ull << 30);
         },
         "ERR: out of memory!\n", true},
        {"a bitmap of 64 MB that does not repeat",
         [](const fs::path& p) {
             DatabaseLayout layout;
             layout.resources.push_back({"abmp", 1000, randomBytes(64 << 20, 5)});
             writeFile(p, skinbuilder::buildDatabase(layout));
         },
         "File has 1 resrouces\nERR: out of memory!\n", true},
        // Only regular files are read: a FIFO with no writer would hold the
        // open for ever, a device would be read without end.
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); },
         "ERR: source file is not a regular file!\n" + totals},
        {"a device", [](const fs::path& p) { fs::create_symlink("/dev/zero", p); },
         "ERR: source file is not a regular file!\n" + totals},
        // Sparse, and refused from its size before a byte of it is read.
        {"larger than a database",
         [](const fs::path& p) {
             writeFile(p, Bytes(100, 1));
             fs::resize_file(p, std::uintmax_t{1} << 32);
         },
         "ERR: source file is too large for a database!\n" + totals},
    };
    for (const BadInput& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.inOneGigabyte) {
            REQUIRE_TOOL(fs::exists("/usr/bin/prlimit"), "REQUIRE_PRLIMIT", "prlimit is missing");
            if (!testsupport::kAddressSpaceCanBeLimited) {
                continue;
            }
        }
        // Every run ends within seconds, or the time limit ends it.
        const auto tessel = [&](const std::vector<std::string>& paths) {
            std::vector<std::string> command = {"/usr/bin/timeout", "5", TESSEL_PATH};
            command.insert(command.end(), paths.begin(), paths.end());
            return testsupport::runProgram(
                c.inOneGigabyte ? testsupport::withinAddressSpace(1 << 30, command) : command);
        };
        TempFolder folder;
        c.make(folder / "in.prc");
        const bool inputExists = fs::is_regular_file(folder / "in.prc");
        // Gigabytes are not read back: the same file, unchanged since, is the same bytes.
        const auto state = [&] {
            struct stat info {};
            const bool small = ::stat((folder / "in.prc").c_str(), &info) == 0 &&
                               S_ISREG(info.st_mode) && info.st_size < (1 << 30);
            return std::make_tuple(info.st_ino, info.st_size, info.st_mtim.tv_sec,
                                   info.st_mtim.tv_nsec,
                                   small ? readFile(folder / "in.prc") : Bytes{});
        };
        const auto input = state();
        const Bytes existing(123, 0x42);
        writeFile(folder / "out.prc", existing);

        const RunResult twoPaths = tessel({folder / "in.prc", folder / "out.prc"});
        EXPECT_EQ(twoPaths.exitStatus, 1);
        EXPECT_EQ(twoPaths.out, c.out);
        EXPECT_EQ(readFile(folder / "out.prc"), existing);

        const RunResult onePath = tessel({folder / "in.prc"});
        EXPECT_EQ(onePath.exitStatus, 1);
        EXPECT_EQ(onePath.out, c.out);
        if (inputExists) {
            EXPECT_TRUE(state() == input);
        }
        tessel({folder / "in.prc", folder / "new.prc"});
        EXPECT_FALSE(fs::exists(folder / "new.prc"));
    }
}

TEST(TesselFiles, UnopenableOutputsFailAfterTheStatistics) {
    TempFolder folder;
    fs::create_directory(folder / "a folder");
    const Bytes input = readFile(SAMPLE_SKIN_PATH);
    const std::string statistics = testsupport::knownRun("sample-skin.prc").out;
    for (const fs::path& output : {folder / "a folder", folder / "missing" / "out.prc"}) {
        SCOPED_TRACE(output.string());
        const RunResult run = tessel({SAMPLE_SKIN_PATH, output});
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.out, statistics + "ERR: cannot open output file!\n");
    }
    EXPECT_TRUE(fs::is_empty(folder / "a folder"));
    EXPECT_EQ(readFile(SAMPLE_SKIN_PATH), input);
}

}  // namespace
