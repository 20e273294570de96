// Runs the built Lumen on the sample, the corpus and Tessel's outputs of them:
// exported PNG files against netpbm's reading of the plain bitmaps, unpacked
// skins against the originals, damage that check must name, the contact
// sheet in headless Chromium, skins built back from an export (untouched and
// edited; Recast's output too), replaced images, a skin made from PNG files, and the refusals.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "compressed_bitmap.h"
#include "database_header.h"
#include "files.h"
#include "netpbm_reference.h"
#include "palm_bitmap.h"
#include "png_reader.h"
#include "png_writer.h"
#include "required_tool.h"
#include "resource_database.h"
#include "rgb565.h"
#include "skin_builder.h"
#include "small_disk.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;

constexpr prc::TypeCode kBitmapType = prc::typeCode("abmp");

// A skin given alone would open its contact sheet: never in the tests.
RunResult lumen(const std::vector<std::string>& arguments,
                const std::vector<std::string>& environment = {"LUMEN_NO_OPEN=1"}) {
    std::vector<std::string> command = {LUMEN_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return testsupport::runProgram(command, "", environment);
}

// Every entry under the folder: a file by its bytes, a link by its target.
std::map<std::string, std::string> treeOf(const fs::path& folder) {
    std::map<std::string, std::string> tree;
    if (!fs::is_directory(folder)) {
        return tree;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        if (entry.is_symlink()) {
            tree[name] = "link to " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            const Bytes bytes = readFile(entry.path());
            tree[name] = std::string(bytes.begin(), bytes.end());
        } else {
            tree[name] = "folder";
        }
    }
    return tree;
}

prc::ResourceTable tableOf(const fs::path& path) {
    return prc::parseResourceDatabase(readFile(path)).table.value();
}

// The bitmap a resource holds, taken out of its container by the library
// Tessel's own tests trust.
Bytes plainBitmap(const Bytes& data) {
    if (data.size() >= 4 && std::equal(data.begin(), data.begin() + 4, "cBMP")) {
        return bitmapcodec::decodeCompressedBitmap(data).bytes;
    }
    return data;
}

struct Skin {
    fs::path path;
    fs::path original;  // what Tessel made it from; the path itself for the originals
};

// The sample, the corpus, and Tessel's output of each (written into the folder).
std::vector<Skin> skins(const TempFolder& folder) {
    std::vector<Skin> all = {{SAMPLE_SKIN_PATH, SAMPLE_SKIN_PATH}};
    for (const auto& entry : fs::directory_iterator(CORPUS_DIR)) {
        if (entry.path().extension() == ".prc") {
            all.push_back({entry.path(), entry.path()});
        }
    }
    for (std::size_t k = 0, originals = all.size(); k < originals; ++k) {
        const fs::path output = folder / ("tessel-" + all[k].path.filename().string());
        EXPECT_EQ(testsupport::runProgram({TESSEL_PATH, all[k].path, output}).exitStatus, 0);
        all.push_back({output, all[k].path});
    }
    return all;
}

TEST(Lumen, ExportsEveryBitmapAsPalmtopnmReadsIt) {
    REQUIRE_NETPBM();
    TempFolder folder;
    for (const auto& [skin, original] : skins(folder)) {
        SCOPED_TRACE(skin.string());
        const fs::path out = folder / ("export-" + skin.stem().string());
        const RunResult run = lumen({"export", skin, out});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        std::vector<std::string> expected = {"index.html", "skin.toml"};
        for (const prc::ResourceEntry& entry : tableOf(skin).entries) {
            // The corpus's strings and settings are text, in the manifest.
            if (entry.type != prc::typeCode("tSTR") && entry.type != prc::typeCode("PlRC")) {
                expected.push_back(std::string(entry.type.begin(), entry.type.end()) + "-" +
                                   std::to_string(entry.id) + ".bin");
            }
            if (entry.type != kBitmapType) {
                continue;
            }
            const std::string name = std::to_string(entry.id) + ".png";
            expected.push_back(name);
            SCOPED_TRACE(name);
            const Bytes bitmap = plainBitmap(entry.data);
            const auto reference = testsupport::palmtopnmImage(bitmap);
            const auto exported = testsupport::pngImage((out / name).string());
            ASSERT_TRUE(reference && exported);
            // 16-bit channels: palmtopnm truncates where Lumen repeats the high bits.
            EXPECT_EQ(testsupport::imageDifference(*reference, *exported, bitmap[8] == 16 ? 1 : 0),
                      "");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(testsupport::folderContents(out), expected);
        // Pictures are documents, not programs.
        for (const std::string& name : expected) {
            EXPECT_EQ(fs::status(out / name).permissions() & fs::perms::owner_exec, fs::perms::none)
                << name;
        }
    }
}

TEST(Lumen, NamesFamilyMembersByDepthAndDensityAndOtherTypesByType) {
    TempFolder folder;
    prc::ResourceTable table;
    table.entries = {{kBitmapType, 1000, readFile(FUZZ_SEEDS_DIR "/bitmap/family"), 0},
                     {prc::typeCode("Tbmp"), 1000, readFile(FUZZ_SEEDS_DIR "/bitmap/indexed"), 0}};
    testsupport::writeFile(folder / "family.prc", prc::serializeResourceDatabase(table));
    const RunResult run = lumen({"export", folder / "family.prc", folder / "out"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(
        testsupport::folderContents(folder / "out"),
        (std::vector<std::string>{"1000-16bpp-144.png", "1000-8bpp.png", "Tbmp-1000.bin",
                                  "Tbmp-1000.png", "abmp-1000.bin", "index.html", "skin.toml"}));
}

TEST(Lumen, UnpacksTesselOutputToTheOriginalBitmaps) {
    TempFolder folder;
    for (const auto& [skin, original] : skins(folder)) {
        if (skin == original) {
            continue;
        }
        SCOPED_TRACE(skin.string());
        const Bytes packed = readFile(skin);
        const RunResult run = lumen({"unpack", skin, folder / "unpacked.prc"});
        ASSERT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_EQ(readFile(skin), packed);
        const Bytes unpacked = readFile(folder / "unpacked.prc");
        EXPECT_TRUE(std::equal(packed.begin(), packed.begin() + 76, unpacked.begin()));

        const prc::ResourceTable before = tableOf(original);
        const prc::ResourceTable after = tableOf(folder / "unpacked.prc");
        const prc::ResourceTable tessel = tableOf(skin);
        ASSERT_EQ(after.entries.size(), tessel.entries.size());
        for (std::size_t k = 0; k < after.entries.size(); ++k) {
            const prc::ResourceEntry& entry = after.entries[k];
            EXPECT_EQ(entry.type, tessel.entries[k].type);
            EXPECT_EQ(entry.id, tessel.entries[k].id);
            const auto source = std::find_if(before.entries.begin(), before.entries.end(),
                                             [&](const prc::ResourceEntry& e) {
                                                 return e.type == entry.type && e.id == entry.id;
                                             });
            ASSERT_NE(source, before.entries.end());
            Bytes expected = source->data;
            // Tessel turns a 2 at offset 27 into 1 when it drops the 'PlRC' resource.
            if (entry.type == kBitmapType && expected.size() > 27 && expected[27] == 2 &&
                entry.data.size() > 27 && entry.data[27] == 1) {
                expected[27] = 1;
            }
            EXPECT_EQ(entry.data, expected) << entry.id;
        }
    }
}

// The sample after Tessel, with one resource changed.
Bytes damagedSample(const TempFolder& folder, std::uint16_t id,
                    const std::function<void(Bytes&)>& change) {
    EXPECT_EQ(testsupport::runProgram({TESSEL_PATH, SAMPLE_SKIN_PATH, folder / "t.prc"}).exitStatus,
              0);
    prc::ResourceTable table = tableOf(folder / "t.prc");
    for (prc::ResourceEntry& entry : table.entries) {
        if (entry.id == id) {
            change(entry.data);
        }
    }
    return prc::serializeResourceDatabase(table);
}

void setLittleEndian32(Bytes& data, std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) {
        data[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
}

std::uint32_t littleEndian32(const Bytes& data, std::size_t at) {
    return data[at] | data[at + 1] << 8 | data[at + 2] << 16 |
           static_cast<std::uint32_t>(data[at + 3]) << 24;
}

TEST(Lumen, CheckNamesDamageAndTheOthersStillShow) {
    TempFolder folder;
    struct Case {
        const char* name;
        std::uint16_t id;
        std::function<void(Bytes&)> change;
        const char* finding;
        // Otherwise a family that decodes whole but that not every handheld
        // shows right: reported, the status left to damage.
        bool damaged = true;
    };
    const auto grey = [](int, int) { return skinbuilder::Rgb{0x80, 0x80, 0x80}; };
    const auto index = [](int x, int) { return static_cast<std::uint8_t>(x); };
    const auto family = [](std::vector<Bytes> members) {
        return [bytes = skinbuilder::bitmapFamily(std::move(members))](Bytes& d) { d = bytes; };
    };
    const std::vector<Case> cases = {
        {"stream cut short", 31000,
         [](Bytes& d) {
             d.resize(d.size() - 40);
             setLittleEndian32(d, 8, static_cast<std::uint32_t>(d.size() - 12));
         },
         "stream ends"},
        {"declared size beyond the stream", 31020,
         [](Bytes& d) { setLittleEndian32(d, 4, littleEndian32(d, 4) + 1); }, "stream ends early"},
        {"declared size short of the stream", 31021,
         [](Bytes& d) { setLittleEndian32(d, 4, littleEndian32(d, 4) - 1); }, "container: "},
        {"stream size that is not the container's", 31022, [](Bytes& d) { d.push_back(0); },
         "stream size"},
        {"plain bitmap cut short", 31003, [](Bytes& d) { d.resize(d.size() - 10); },
         "pixel data needs"},
        {"a density-144 member written first", 31020,
         family({skinbuilder::highDensityBitmap(128, 64, 144, grey),
                 skinbuilder::indexedBitmap(64, 32, index)}),
         "abmp 31020: member 2 of 2 (8 bpp): density 72 behind member 1 (density 144): systems "
         "before Palm OS 5 stop there and cannot find it",
         false},
        {"two members of one depth and density", 31020,
         family({skinbuilder::indexedBitmap(64, 32, index),
                 skinbuilder::indexedBitmap(64, 32, index)}),
         "abmp 31020: member 2 of 2 (8 bpp): a second member of 8 bpp at density 72 (the first "
         "is member 1): a handheld shows only one of them",
         false},
        {"a density-144 member of an unrelated size", 31020,
         family({skinbuilder::indexedBitmap(64, 32, index),
                 skinbuilder::highDensityBitmap(70, 46, 144, grey)}),
         "abmp 31020: member 2 of 2 (16 bpp, density 144): 70x46 where member 1 (64x32) makes "
         "128x64 at density 144: handhelds that draw this member show the picture at another size",
         false},
    };
    const fs::path good = SAMPLE_SKIN_PATH;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path skin = folder / "damaged.prc";
        testsupport::writeFile(skin, damagedSample(folder, c.id, c.change));
        const RunResult check = lumen({"check", good, skin});
        EXPECT_EQ(check.exitStatus, c.damaged ? 1 : 0);
        const std::string line = skin.string() + ": abmp " + std::to_string(c.id) + ": ";
        EXPECT_NE(check.out.find(line), std::string::npos) << check.out;
        EXPECT_NE(check.out.find(c.finding), std::string::npos) << check.out;
        EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 3) << check.out;
        if (!c.damaged) {
            EXPECT_NE(check.out.find("), all intact; 1 family not shown right everywhere\n"),
                      std::string::npos)
                << check.out;
            continue;
        }

        const RunResult list = lumen({"list", skin});
        EXPECT_EQ(list.exitStatus, 0);
        EXPECT_NE(list.out.find("damaged: "), std::string::npos);
        const RunResult exported = lumen({"export", skin, folder / "out"});
        EXPECT_EQ(exported.exitStatus, 1);
        EXPECT_NE(exported.err.find(line), std::string::npos) << exported.err;
        // 9 images of 10, index.html, skin.toml and the bytes of the 12
        // resources but the string, which is text in the manifest.
        EXPECT_EQ(testsupport::folderContents(folder / "out").size(), 22u);
        fs::remove_all(folder / "out");
    }
    EXPECT_EQ(lumen({"check", good, folder / "t.prc"}).exitStatus, 0);
}

TEST(Lumen, RefusesWithALineNamingTheFile) {
    TempFolder folder;
    testsupport::writeFile(folder / "skin.prc", readFile(SAMPLE_SKIN_PATH));
    testsupport::writeFile(folder / "short.prc", Bytes(40, 1));
    testsupport::writeFile(folder / "file", Bytes(3, 1));
    fs::create_directories(folder / "sheet in the way" / "index.html");
    fs::create_directories(folder / "no manifest");
    const std::string skin = (folder / "skin.prc").string();
    const std::string otherSpelling = (folder / "." / "skin.prc").string();
    // A full disk (root only): nothing export writes fits, and its last line
    // says so rather than what it meant to write.
    const testsupport::SmallDisk disk(folder / "disk");
    if (disk.mounted()) {
        fs::create_directory(folder / "disk" / "export");
        disk.fill();
    } else if (::geteuid() == 0) {
        ADD_FAILURE() << "cannot mount a small tmpfs: " << disk.whyNot();
    }
    struct Case {
        std::vector<std::string> arguments;
        std::string named;
        std::string out = {};  // the last line on standard output, where there is one
        bool onFullDisk = false;
        std::string redirection = {};  // of standard output, as the shell writes it
    };
    // Every command's report lost on a full disk; what it writes is written
    // all the same (build reads what export wrote).
    const auto reportLost = [](std::vector<std::string> arguments) {
        return Case{std::move(arguments), "Lumen: standard output: cannot write the report", "",
                    false, ">/dev/full"};
    };
    const fs::path exported = folder / "exported";
    const std::vector<Case> cases = {
        {{"list", (folder / "missing.prc").string()}, "missing.prc: cannot open"},
        {{"check", (folder / "short.prc").string()}, "short.prc: not a resource database"},
        {{"list", "/dev/zero"}, "/dev/zero: not a regular file"},
        // A path of 100 KB is shown by its start and its end.
        {{"list", std::string(100000, 'p')},
         "Lumen: " + std::string(180, 'p') + "\u2026" + std::string(180, 'p') + ": cannot open"},
        {{"export", skin, (folder / "file").string()}, "file: cannot create the folder"},
        {{"unpack", skin, otherSpelling}, "never writes over its input"},
        {{"unpack", skin, (folder / "no folder" / "out.prc").string()},
         "out.prc: cannot write the file: No such file or directory"},
        {{"unpack", skin, (folder / "sheet in the way").string()},
         "sheet in the way: cannot write the file: Is a directory"},
        {{"export", skin, (folder / "sheet in the way").string()},
         "index.html: cannot write the file: Is a directory",
         "skin.prc: 10 images written to " + (folder / "sheet in the way").string() +
             "; 1 file could not be written\n"},
        {{"unpack", skin, (folder / std::string(256, 'n')).string()},
         "cannot write the file: File name too long"},
        {{"unpack", skin, (folder / "disk" / "out.prc").string()},
         "out.prc: cannot write the file: No space left on device",
         "",
         true},
        {{"export", skin, (folder / "disk" / "export").string()},
         "index.html: cannot write the file: No space left on device",
         "skin.prc: 0 images written to " + (folder / "disk" / "export").string() +
             "; 23 files could not be written\n",
         true},
        {{"export", skin}, "wrong number of arguments"},
        {{"show", skin}, "unknown command"},
        reportLost({"list", skin}),
        reportLost({"check", skin}),
        reportLost({"export", skin, exported}),
        reportLost({"build", exported, folder / "built.prc"}),
        reportLost({"replace", skin, "31000", exported / "31000.png", folder / "replaced.prc"}),
        reportLost({"unpack", skin, folder / "unpacked.prc"}),
        reportLost({"--help"}),
        reportLost({"--version"}),
        // Alone, a command's name is still the command; a path that is
        // neither a file nor a folder with a skin.toml is an unknown command.
        {{"list"}, "wrong number of arguments for list"},
        {{"build"}, "wrong number of arguments for build"},
        {{"export"}, "wrong number of arguments for export"},
        {{(folder / "missing.prc").string()}, "unknown command"},
        {{(folder / "no manifest").string()}, "unknown command"},
        // A file dropped alone that is no skin: nothing is made beside it.
        {{(folder / "short.prc").string()}, "short.prc: not a resource database"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.named);
        if (c.onFullDisk && !disk.mounted()) {
            continue;
        }
        std::vector<std::string> command = {LUMEN_PATH};
        command.insert(command.end(), c.arguments.begin(), c.arguments.end());
        const RunResult run =
            testsupport::runProgram(testsupport::withRedirection(c.redirection, command));
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
        if (!c.out.empty()) {
            EXPECT_TRUE(run.out.ends_with(c.out)) << run.out;
        }
    }
    if (disk.mounted()) {
        EXPECT_EQ(testsupport::folderContents(folder / "disk"),
                  (std::vector<std::string>{"export", "filler"}));
        EXPECT_TRUE(fs::is_empty(folder / "disk" / "export"));
    }
    EXPECT_EQ(readFile(skin), readFile(SAMPLE_SKIN_PATH));
    for (const char* written : {"built.prc", "replaced.prc", "unpacked.prc"}) {
        EXPECT_TRUE(fs::is_regular_file(folder / written)) << written;
    }
    EXPECT_FALSE(fs::exists(folder / "short"));
    EXPECT_EQ(lumen({"--help"}).exitStatus, 0);
}

// The manual page is written by hand: a command added to the program must get
// its subsection there too, and a key the manifest's reader takes its entry
// in THE MANIFEST, the section that the usage and every exported manifest
// point at.
TEST(Lumen, ManualPageHasASubsectionForEveryCommandOfTheUsage) {
    const RunResult help = lumen({"--help"});
    ASSERT_EQ(help.exitStatus, 0);
    const Bytes pageBytes = readFile(LUMEN_MANUAL_PAGE);
    const std::string page(pageBytes.begin(), pageBytes.end());
    std::vector<std::string> commands;
    for (std::size_t at = help.out.find("Lumen "); at != std::string::npos;
         at = help.out.find("Lumen ", at + 1)) {
        const std::size_t start = at + 6;
        const std::string command = help.out.substr(start, help.out.find(' ', start) - start);
        if (command.rfind("--", 0) != 0) {
            commands.push_back(command);
        }
    }
    EXPECT_GE(commands.size(), 4U) << help.out;
    for (const std::string& command : commands) {
        EXPECT_NE(page.find("\n.SS " + command + " "), std::string::npos)
            << "doc/man/Lumen.1 has no subsection for " << command;
    }

    const std::string section = "THE MANIFEST";
    const std::size_t start = page.find("\n.SH " + section + "\n");
    ASSERT_NE(start, std::string::npos);
    EXPECT_NE(help.out.find(section + " in Lumen's\nmanual"), std::string::npos) << help.out;
    TempFolder folder;
    ASSERT_EQ(lumen({"export", SAMPLE_SKIN_PATH, folder / "export"}).exitStatus, 0);
    const Bytes exported = readFile(folder / "export" / "skin.toml");
    EXPECT_NE(std::string(exported.begin(), exported.end()).find(section), std::string::npos);
    // The words an entry begins with: ".TP", then ".B depth" or
    // ".BR created \", \" modified".
    std::istringstream lines(page.substr(start, page.find("\n.SH ", start + 1) - start));
    std::set<std::string> described;
    for (std::string line, previous; std::getline(lines, line); previous = line) {
        if (previous == ".TP" && line.starts_with(".B")) {
            std::istringstream words(line.substr(line.find(' ') + 1));
            for (std::string word; words >> word;) {
                described.insert(word);
            }
        }
    }
    // An unknown key in each table is refused with every key the table takes.
    const std::string head = "[database]\nname = \"X\"\ntype = \"rsrc\"\ncreator = \"sBar\"\n";
    const std::string resource = head + "[[resource]]\ntype = \"abmp\"\nid = 1\n";
    for (const std::string& manifest :
         std::vector<std::string>{"[database]\nzz = 1\n", resource + "zz = 1\n",
                                  resource + "[[resource.member]]\nzz = 1\n"}) {
        testsupport::writeFile(folder / "export" / "skin.toml",
                               Bytes(manifest.begin(), manifest.end()));
        const RunResult run = lumen({"build", folder / "export", folder / "out.prc"});
        const std::size_t takes = run.err.find("it takes ");
        ASSERT_NE(takes, std::string::npos) << run.err;
        std::istringstream keys(run.err.substr(takes + 9, run.err.find('\n') - takes - 9));
        for (std::string key; std::getline(keys, key, ',');) {
            key.erase(0, key.find_first_not_of(' '));
            EXPECT_TRUE(described.contains(key)) << "THE MANIFEST has no entry for " << key;
        }
    }
}

// Chromium loads a page that opens the contact sheet in a frame and writes
// into its own DOM how many of the sheet's images decoded.
TEST(Lumen, ContactSheetLoadsWithEveryImageInChromium) {
    REQUIRE_TOOL(fs::exists(CHROMIUM_PATH), "REQUIRE_CHROMIUM", "chromium is not installed");
    TempFolder folder;
    ASSERT_EQ(lumen({"export", SAMPLE_SKIN_PATH, folder / "sheet"}).exitStatus, 0);
    const std::string checker = R"(<!DOCTYPE html><body><script>
const frame = document.createElement('iframe');
// A frame's load event waits for its images; a broken one has no natural width.
frame.onload = () => {
  const images = [...frame.contentDocument.images];
  const decoded = images.filter(i => i.complete && i.naturalWidth > 0);
  document.body.dataset.result = decoded.length + ' of ' + images.length;
};
frame.src = 'index.html';
document.body.append(frame);
</script></body>)";
    testsupport::writeFile(folder / "sheet" / "checker.html",
                           Bytes(checker.begin(), checker.end()));
    fs::create_directory(folder / "profile");
    const RunResult run = testsupport::runProgram(
        {CHROMIUM_PATH, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
         "--no-first-run", "--disable-background-networking", "--disable-component-update",
         "--disable-sync", "--user-data-dir=" + (folder / "profile").string(),
         "--allow-file-access-from-files", "--virtual-time-budget=10000", "--dump-dom",
         "file://" + (folder / "sheet" / "checker.html").string()});
    const std::vector<std::string> names = testsupport::folderContents(folder / "sheet");
    const auto pngs = std::count_if(names.begin(), names.end(), [](const std::string& name) {
        return fs::path(name).extension() == ".png";
    });
    // Every image appears twice: on the dark and on the light ground.
    const std::string expected = std::to_string(2 * pngs) + " of " + std::to_string(2 * pngs);
    EXPECT_NE(run.out.find("data-result=\"" + expected + "\""), std::string::npos)
        << run.out << run.err;
}

prc::DatabaseHeader headerOf(const fs::path& path) {
    return prc::parseDatabaseHeader(readFile(path));
}

palmbitmap::Image pngOf(const fs::path& path) {
    png::DecodedPng decoded = png::decodePng(readFile(path));
    EXPECT_EQ(decoded.error, "") << path;
    return {static_cast<int>(decoded.width), static_cast<int>(decoded.height), decoded.rgba};
}

void writePng(const fs::path& path, const palmbitmap::Image& image) {
    testsupport::writeFile(
        path, png::encodeRgbaPng(static_cast<std::uint32_t>(image.width),
                                 static_cast<std::uint32_t>(image.height), image.rgba));
}

void writeText(const fs::path& path, const std::string& text) {
    testsupport::writeFile(path, Bytes(text.begin(), text.end()));
}

// Databases laid out as Palm OS does not: what the manifest must say of each.
struct CraftedLayout {
    const char* name;
    Bytes file;
    std::vector<std::string> lines;  // the manifest's, each in full
};

// The bytes of a resource whose offset is patched, and the header's IDs.
void patchOffset(Bytes& file, std::size_t at, std::size_t value) {
    for (int k = 0; k < 4; ++k) {
        file[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(value >> (24 - 8 * k));
    }
}

std::vector<CraftedLayout> craftedLayouts() {
    using skinbuilder::DatabaseLayout;
    const auto text = [](const std::string& bytes) { return Bytes(bytes.begin(), bytes.end()); };
    std::vector<CraftedLayout> crafted;
    {
        // Bytes after the name's NUL, a gap of other bytes than zeros, and
        // resources as text and as bytes.
        DatabaseLayout layout;
        layout.name = skinbuilder::databaseName("Crafted");
        layout.name[20] = 'x';
        layout.gapBytes = 5;
        layout.resources = {
            {"tSTR", 1000, text(std::string("Gr\xFC\xDF \x80 \x93q\x94\t\"a\\b\"\r\n\0", 19))},
            {"tSTR", 1001, text(std::string("\0", 1))},
            {"PlRC", 0, text(std::string("two\0NULs\0", 9))},
            {"DATA", 5, text(std::string("\x01\x02\0", 3))},
            {"xtra", 7, text(std::string("spaced out\0", 11))},
            {"xtra", 8, text(std::string(" \t\0", 3))},
            {"xtra", 9, text(std::string("no NUL"))},
            {"xtra", 10, text(std::string("\x81\0", 2))},
        };
        Bytes file = skinbuilder::buildDatabase(layout);
        for (std::size_t k = 0; k < 5; ++k) {
            file[skinbuilder::directoryEntryAt(8) + k] = static_cast<std::uint8_t>(0xE0 + k);
        }
        crafted.push_back(
            {"a gap of other bytes; text",
             file,
             {"nameBytes = \"437261667465640000000000000000000000000078000000000000"
              "0000000000\"",
              "gap = \"gap.bin\"", "text = \"Grüß € “q”\\t\\\"a\\\\b\\\"\\r\\n\"", "text = \"\"",
              "file = \"PlRC-0.bin\"", "file = \"DATA-5.bin\"", "text = \"spaced out\"",
              "file = \"xtra-8.bin\"", "file = \"xtra-9.bin\"", "file = \"xtra-10.bin\""}});
    }
    {
        // The appInfo and sortInfo blocks after Palm OS's two zero bytes,
        // and data stored in another order than the directory's.
        DatabaseLayout layout;
        layout.name = skinbuilder::databaseName("Blocks");
        layout.gapBytes = 2 + 4 + 3;
        layout.resources = {
            {"abcd", 1, Bytes(6, 0xA1)}, {"abcd", 2, Bytes(4, 0xB2)}, {"abcd", 3, Bytes(2, 0xC3)}};
        Bytes file = skinbuilder::buildDatabase(layout);
        const std::size_t blocks = skinbuilder::directoryEntryAt(3) + 2;
        std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(blocks), 7, 0xEE);
        patchOffset(file, 52, blocks);
        patchOffset(file, 56, blocks + 4);
        std::swap_ranges(file.begin() + skinbuilder::directoryEntryAt(0),
                         file.begin() + skinbuilder::directoryEntryAt(1),
                         file.begin() + skinbuilder::directoryEntryAt(1));
        crafted.push_back({"appInfo and sortInfo blocks; data in another order",
                           file,
                           {"appInfo = \"appInfo.bin\"", "sortInfo = \"sortInfo.bin\"",
                            "dataOrder = [2, 1, 3]"}});
    }
    {
        // No gap, IDs that point at no block, and empty resources beside
        // data stored in another order.
        DatabaseLayout layout;
        layout.name = skinbuilder::databaseName("Numbers");
        layout.gapBytes = 0;
        layout.appInfoID = 10;
        layout.sortInfoID = 0x12345678;
        layout.resources = {
            {"abcd", 1, {}}, {"abcd", 2, Bytes(3, 0xB2)}, {"abcd", 3, {}}, {"abcd", 4, {1}}};
        Bytes file = skinbuilder::buildDatabase(layout);
        // Resource 4's data first, then the rest; the empty ones where their
        // neighbours begin.
        const std::size_t data = skinbuilder::directoryEntryAt(4);
        file.insert(file.begin() + static_cast<std::ptrdiff_t>(data), file.back());
        file.pop_back();
        patchOffset(file, skinbuilder::offsetFieldAt(3), data);
        patchOffset(file, skinbuilder::offsetFieldAt(0), data + 1);
        patchOffset(file, skinbuilder::offsetFieldAt(1), data + 1);
        patchOffset(file, skinbuilder::offsetFieldAt(2), data + 4);
        crafted.push_back({"no gap; IDs pointing at no block; empty resources",
                           file,
                           {"gap = 0", "appInfoId = 0x0000000A", "sortInfoId = 0x12345678",
                            "dataOrder = [4, 1, 2, 3]"}});
    }
    return crafted;
}

// Every database Lumen reads without damage comes back byte for byte, and
// its manifest says what differs from Palm OS's layout and nothing more.
TEST(Lumen, BuildsAnUntouchedExportBackToTheSameDatabase) {
    TempFolder folder;
    std::vector<Skin> all = skins(folder);
    // Recast's output too: the sample converted in place.
    testsupport::writeFile(folder / "recast.prc", readFile(SAMPLE_SKIN_PATH));
    ASSERT_EQ(testsupport::runProgram({RECAST_PATH, folder / "recast.prc"}).exitStatus, 0);
    all.push_back({folder / "recast.prc", SAMPLE_SKIN_PATH});
    std::map<fs::path, std::vector<std::string>> lines;
    for (const CraftedLayout& crafted : craftedLayouts()) {
        const fs::path path = folder / (std::string(crafted.name) + ".prc");
        testsupport::writeFile(path, crafted.file);
        all.push_back({path, path});
        lines[path] = crafted.lines;
    }
    for (const auto& [skin, original] : all) {
        SCOPED_TRACE(skin.string());
        const fs::path out = folder / ("export-" + skin.stem().string());
        ASSERT_EQ(lumen({"export", skin, out}).exitStatus, 0);
        const RunResult build = lumen({"build", out, folder / "built.prc"});
        ASSERT_EQ(build.exitStatus, 0) << build.err;
        EXPECT_NE(build.out.find(" 0 bitmap members drawn anew"), std::string::npos) << build.out;
        // Compared whole, without printing hundreds of kilobytes.
        const Bytes built = readFile(folder / "built.prc");
        EXPECT_TRUE(built == readFile(skin)) << built.size() << " bytes";
        const Bytes manifest = readFile(out / "skin.toml");
        const std::string text(manifest.begin(), manifest.end());
        for (const std::string& line : lines[skin]) {
            EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
        }
        if (lines[skin].empty()) {
            // Laid out as Palm OS does, or Tessel without the gap.
            for (const char* key : {"\nappInfo", "\nsortInfo", "\ndataOrder"}) {
                EXPECT_EQ(text.find(key), std::string::npos) << key;
            }
            const bool tessel = skin.filename().string().starts_with("tessel-");
            EXPECT_EQ(text.find("\ngap = 0\n") != std::string::npos, tessel);
        }
        EXPECT_EQ(headerOf(folder / "built.prc"), headerOf(skin));
        const prc::ResourceTable before = tableOf(skin);
        const prc::ResourceTable after = tableOf(folder / "built.prc");
        // Unpack and replace keep the skin's layout too: its gap, the blocks
        // its header points to and its data's order.
        ASSERT_EQ(lumen({"unpack", skin, folder / "unpacked.prc"}).exitStatus, 0);
        EXPECT_EQ(tableOf(folder / "unpacked.prc").layout, before.layout);
        for (const fs::directory_entry& image : fs::directory_iterator(out)) {
            const std::string id = image.path().stem().string();
            if (image.path().extension() == ".png" &&
                id.find_first_not_of("0123456789") == std::string::npos) {
                const RunResult replaced =
                    lumen({"replace", skin, id, image.path(), folder / "replaced.prc"});
                ASSERT_EQ(replaced.exitStatus, 0) << replaced.err;
                EXPECT_EQ(tableOf(folder / "replaced.prc").layout, before.layout);
                break;
            }
        }
        ASSERT_EQ(after.entries.size(), before.entries.size());
        for (std::size_t k = 0; k < after.entries.size(); ++k) {
            EXPECT_EQ(after.entries[k].type, before.entries[k].type);
            EXPECT_EQ(after.entries[k].id, before.entries[k].id);
            EXPECT_EQ(after.entries[k].data, before.entries[k].data) << after.entries[k].id;
        }
        // Dropped on Lumen alone, a skin is exported into a folder of its
        // name beside it as export does, and that folder built into a skin
        // beside it where the skin keeps its own name.
        const fs::path dropped = folder / "dropped" / skin.filename();
        fs::create_directories(dropped.parent_path());
        testsupport::writeFile(dropped, readFile(skin));
        const RunResult exported = lumen({dropped});
        ASSERT_EQ(exported.exitStatus, 0) << exported.err;
        const fs::path beside = folder / "dropped" / skin.stem();
        EXPECT_EQ(treeOf(beside), treeOf(out));
        // The second time the first skin stays; a separator after the folder is no part of
        // its name.
        for (const std::string& given : {beside.string(), beside.string() + "/"}) {
            const RunResult built = lumen({given});
            ASSERT_EQ(built.exitStatus, 0) << built.err;
        }
        for (const char* suffix : {" (2).prc", " (3).prc"}) {
            EXPECT_EQ(readFile(beside.string() + suffix), readFile(folder / "built.prc")) << suffix;
        }
        EXPECT_EQ(readFile(dropped), readFile(skin));
    }
}

// The bitmap of a resource, taken out of its container, decoded.
palmbitmap::BitmapFamily familyOf(const fs::path& skin, std::uint16_t id) {
    for (const prc::ResourceEntry& entry : tableOf(skin).entries) {
        if (entry.type == kBitmapType && entry.id == id) {
            return palmbitmap::decodePalmBitmap(plainBitmap(entry.data));
        }
    }
    ADD_FAILURE() << "no bitmap " << id;
    return {};
}

// An edit whose colours all come from the image itself (its rows turned down
// by one): exact in every palette and in 5-6-5.
palmbitmap::Image edited(const palmbitmap::Image& image) {
    palmbitmap::Image out = image;
    const std::size_t row = static_cast<std::size_t>(image.width) * 4;
    std::rotate(out.rgba.begin(), out.rgba.end() - static_cast<std::ptrdiff_t>(row),
                out.rgba.end());
    return out;
}

TEST(Lumen, EditedImagesComeBackExactlyInTheirMembersOwnFormat) {
    TempFolder folder;
    ASSERT_EQ(testsupport::runProgram({TESSEL_PATH, SAMPLE_SKIN_PATH, folder / "t.prc"}).exitStatus,
              0);
    struct Case {
        fs::path skin;
        std::uint16_t id;
        const char* what;
        // Cut to its top left quarter: build's line for the new size; replace
        // refuses an image of no member's size.
        const char* newSize = nullptr;
    };
    const std::vector<Case> cases = {
        {SAMPLE_SKIN_PATH, 31000, "16 bits, version 2"},
        {SAMPLE_SKIN_PATH, 31000, "a new size", "abmp 31000: 320x480 -> 160x240\n"},
        {SAMPLE_SKIN_PATH, 31010, "8 bits, system palette"},
        {CORPUS_DIR "/demo-skin.prc", 31010, "8 bits, a colour table of its own, version 1"},
        {CORPUS_DIR "/demo-skin.prc", 31001, "16 bits, version 1"},
        {folder / "t.prc", 31020, "in a container"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path out = folder / "export";
        fs::remove_all(out);
        ASSERT_EQ(lumen({"export", c.skin, out}).exitStatus, 0);
        const fs::path png = out / (std::to_string(c.id) + ".png");
        palmbitmap::Image changed = edited(pngOf(png));
        if (c.newSize != nullptr) {
            palmbitmap::Image quarter{changed.width / 2, changed.height / 2, {}};
            for (int y = 0; y < quarter.height; ++y) {
                const auto row = changed.rgba.begin() + std::ptrdiff_t{y} * changed.width * 4;
                quarter.rgba.insert(quarter.rgba.end(), row, row + quarter.width * 4);
            }
            changed = quarter;
        }
        writePng(folder / "changed.png", changed);
        writePng(png, changed);
        const RunResult build = lumen({"build", out, folder / "built.prc"});
        ASSERT_EQ(build.exitStatus, 0) << build.err;
        EXPECT_NE(build.out.find(" 1 bitmap members drawn anew"), std::string::npos) << build.out;
        EXPECT_EQ(build.out.find(" -> ") == std::string::npos, c.newSize == nullptr) << build.out;
        fs::remove(folder / "replaced.prc");
        const RunResult replace = lumen({"replace", c.skin, std::to_string(c.id),
                                         folder / "changed.png", folder / "replaced.prc"});
        std::vector<fs::path> results = {folder / "built.prc"};
        if (c.newSize != nullptr) {
            EXPECT_NE(build.out.find(out.string() + ": " + c.newSize), std::string::npos)
                << build.out;
            EXPECT_EQ(replace.exitStatus, 1);
            EXPECT_NE(replace.err.find("its 160x240 pixels match no member"), std::string::npos)
                << replace.err;
            EXPECT_FALSE(fs::exists(folder / "replaced.prc"));
        } else {
            ASSERT_EQ(replace.exitStatus, 0) << replace.err;
            results.push_back(folder / "replaced.prc");
        }

        const palmbitmap::BitmapMember before = familyOf(c.skin, c.id).members.at(0);
        const prc::ResourceTable original = tableOf(c.skin);
        for (const fs::path& result : results) {
            SCOPED_TRACE(result.filename().string());
            EXPECT_EQ(headerOf(result), headerOf(c.skin));
            const palmbitmap::BitmapFamily family = familyOf(result, c.id);
            ASSERT_TRUE(palmbitmap::isIntact(family)) << family.error;
            const palmbitmap::BitmapMember& after = family.members.at(0);
            EXPECT_EQ(after.image.rgba, changed.rgba);
            EXPECT_EQ(after.version, before.version);
            EXPECT_EQ(after.depth, before.depth);
            EXPECT_EQ(after.compression, before.compression);
            EXPECT_EQ(after.colorTable, before.colorTable);
            EXPECT_EQ(after.transparent, before.transparent);
            const prc::ResourceTable table = tableOf(result);
            ASSERT_EQ(table.entries.size(), original.entries.size());
            for (std::size_t k = 0; k < table.entries.size(); ++k) {
                if (table.entries[k].id != c.id) {
                    EXPECT_EQ(table.entries[k].data, original.entries[k].data);
                }
            }
        }
        // Both ways draw the member alike.
        const auto resource = [&](const fs::path& skin) {
            for (const prc::ResourceEntry& entry : tableOf(skin).entries) {
                if (entry.type == kBitmapType && entry.id == c.id) {
                    return entry.data;
                }
            }
            return Bytes{};
        };
        if (c.newSize == nullptr) {
            EXPECT_EQ(resource(folder / "built.prc"), resource(folder / "replaced.prc"));
        }
        EXPECT_NE(resource(folder / "built.prc"), resource(c.skin));
    }
}

TEST(Lumen, BuildsANewSkinFromPngFilesAndAHandWrittenManifest) {
    TempFolder folder;
    const fs::path in = folder / "in";
    fs::create_directories(in);
    // Colours of the system palette and of 5-6-5, and a clear corner.
    palmbitmap::Image image{20, 10, {}};
    for (int p = 0; p < 200; ++p) {
        const palmbitmap::Rgb c =
            palmbitmap::expand565(static_cast<std::uint16_t>(p % 3 == 0   ? 0xF800
                                                             : p % 3 == 1 ? 0x07E0
                                                                          : 0x001F));
        image.rgba.insert(image.rgba.end(),
                          {c.red, c.green, c.blue, static_cast<std::uint8_t>(p < 3 ? 0 : 255)});
    }
    palmbitmap::Image dense = image;  // twice the size, for density 144
    dense.width = 40;
    dense.height = 20;
    for (int copy = 1; copy < 4; ++copy) {
        dense.rgba.insert(dense.rgba.end(), image.rgba.begin(), image.rgba.end());
    }
    // 300 colours and a clear corner: more than a colour table holds.
    palmbitmap::Image many{20, 15, {}};
    for (int p = 0; p < 300; ++p) {
        many.rgba.insert(many.rgba.end(), {static_cast<std::uint8_t>(p * 255 / 299),
                                           static_cast<std::uint8_t>(255 - p * 97 % 256),
                                           static_cast<std::uint8_t>(p * 91 % 256),
                                           static_cast<std::uint8_t>(p < 3 ? 0 : 255)});
    }
    writePng(in / "small.png", image);
    writePng(in / "dense.png", dense);
    writePng(in / "many.png", many);
    writeText(in / "title.bin", "Blue");
    // A link that stays inside the folder, named from a subfolder with
    // Windows' separator.
    fs::create_directories(in / "pictures");
    fs::create_symlink("../small.png", in / "pictures" / "small.png");
    // Notepad's byte-order mark first.
    writeText(in / "skin.toml",
              "\xEF\xBB\xBF"
              R"(# A skin made by hand: « bleu »
[database]
name = "Blue €"
type = "rsrc"
creator = "sBar"
created = 0xC0000000
modified = 0xC0000001

[[resource]]
type = "tSTR"
id = 1000
file = 'title.bin' # a literal string

[[resource]]
type = "tSTR"
id = 1001
text = "Bleu\tclair \u20AC"

[[resource]]
type = "abmp"
id = 31100
[[resource.member]] # written behind the member of density 72
image = "dense.png"
depth = 16
density = 144
compression = "packbits"
[[resource.member]]
image = "small.png"
depth = 8

[[resource]]
type = "abmp"
id = 31101
[[resource.member]]
image = 'pictures\small.png'
depth = 8
colours = "image"
compression = "rle"

[[resource]]
type = "abmp"
id = 31102
[[resource.member]]
image = "many.png"
depth = 8
colours = "image"
[[resource.member]]
image = "many.png"
depth = 4
colours = 16
dither = true
[[resource.member]]
image = "many.png"
depth = 2
colours = 3
)");
    const RunResult build = lumen({"build", in, folder / "blue.prc"});
    ASSERT_EQ(build.exitStatus, 0) << build.err;
    const prc::DatabaseHeader header = headerOf(folder / "blue.prc");
    // Stored in Windows-1252, where the euro sign is 0x80.
    EXPECT_EQ(std::string(header.name.begin(), header.name.begin() + 7),
              std::string("Blue \x80\0", 7));
    EXPECT_EQ(header.type, prc::typeCode("rsrc"));
    EXPECT_EQ(header.attributes, 1);
    EXPECT_EQ(header.version, 1);
    EXPECT_EQ(header.creationDate, 0xC0000000u);
    EXPECT_EQ(header.modificationDate, 0xC0000001u);
    EXPECT_EQ(header.modificationNumber, 1u);
    const prc::ResourceTable table = tableOf(folder / "blue.prc");
    ASSERT_EQ(table.entries.size(), 5u);
    EXPECT_EQ(table.entries[0].data, (Bytes{'B', 'l', 'u', 'e'}));
    // A text in Windows-1252, closed by a NUL.
    const std::string label("Bleu\tclair \x80\0", 13);
    EXPECT_EQ(table.entries[1].data, Bytes(label.begin(), label.end()));
    // Laid out as Palm OS does: two zero bytes after the directory.
    EXPECT_EQ(table.layout, prc::palmLayout());
    EXPECT_EQ(table.entries[0].offset, prc::directoryEntryOffset(5) + 2);

    struct Expected {
        std::uint16_t id;
        std::size_t member;
        int version, depth, density;
        palmbitmap::Compression compression;
        int colorTableEntries;
        const palmbitmap::Image& image;
        // Median cut's colours: the most any channel may differ, and on average.
        int tolerance = 0;
        double meanTolerance = 0;
    };
    using C = palmbitmap::Compression;
    const std::vector<Expected> members = {
        {31100, 0, 2, 8, 72, C::none, 0, image},  // the smallest form: plain for so few pixels
        {31100, 1, 3, 16, 144, C::packBits, 0, dense},
        {31101, 0, 2, 8, 72, C::rle, 4, image},  // three colours and a transparent entry
        // 255 of the 297 opaque colours by median cut, and the transparent entry;
        // then 15 dithered, and 2.
        {31102, 0, 2, 8, 72, C::none, 256, many, 24, 3},
        {31102, 1, 2, 4, 72, C::none, 16, many, 255, 24},
        {31102, 2, 2, 2, 72, C::none, 3, many, 255, 42},
    };
    for (const Expected& e : members) {
        SCOPED_TRACE(std::to_string(e.id) + " member " + std::to_string(e.member));
        const palmbitmap::BitmapFamily family = familyOf(folder / "blue.prc", e.id);
        ASSERT_TRUE(palmbitmap::isIntact(family)) << family.error;
        const palmbitmap::BitmapMember& m = family.members.at(e.member);
        EXPECT_EQ(m.version, e.version);
        EXPECT_EQ(m.depth, e.depth);
        EXPECT_EQ(m.density, e.density);
        EXPECT_EQ(m.compression, e.compression);
        EXPECT_EQ(m.colorTableEntries, e.colorTableEntries);
        EXPECT_TRUE(m.transparent);
        // Clear pixels come back clear; their colour is the transparent one's.
        palmbitmap::Image expected = e.image;
        for (std::size_t p = 0; p < expected.rgba.size(); p += 4) {
            if (expected.rgba[p + 3] == 0) {
                std::copy_n(m.image.rgba.begin() + static_cast<std::ptrdiff_t>(p), 3,
                            expected.rgba.begin() + static_cast<std::ptrdiff_t>(p));
            }
        }
        if (e.tolerance == 0) {
            EXPECT_EQ(m.image.rgba, expected.rgba);
        }
        EXPECT_EQ(testsupport::imageDifference({expected.width, expected.height, expected.rgba},
                                               {m.image.width, m.image.height, m.image.rgba},
                                               e.tolerance),
                  "");
        double difference = 0;
        for (std::size_t k = 0; k < expected.rgba.size(); ++k) {
            difference += std::abs(expected.rgba[k] - m.image.rgba[k]);
        }
        EXPECT_LE(difference / static_cast<double>(expected.rgba.size()), e.meanTolerance);
    }
}

// AddressSanitizer reserves terabytes of address space for its shadow: a
// sanitized build runs without the limit (the budget holds all the same).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceCanBeLimited = false;
#else
constexpr bool kAddressSpaceCanBeLimited = true;
#endif

// Each refusal ends at once, within 1 GB, however large or endless the file
// named: a FIFO, a device, sparse files of gigabytes.
TEST(Lumen, RefusesBadManifestsAndImagesWithALineNamingTheFile) {
    TempFolder folder;
    const fs::path in = folder / "in";
    fs::create_directories(in / "sub");
    const palmbitmap::Image image{4, 2, Bytes(32, 255)};
    writePng(in / "a.png", image);
    // Members of families: a 3x1 picture is 5x2 or 4x1 at density 108.
    for (const auto& [name, width, height] :
         {std::tuple{"dense.png", 8, 4}, {"odd.png", 3, 1}, {"up.png", 5, 2}, {"down.png", 4, 1}}) {
        writePng(in / name, {width, height, Bytes(std::size_t(width) * height * 4, 255)});
    }
    const Bytes png = readFile(in / "a.png");
    testsupport::writeFile(in / "cut.png", Bytes(png.begin(), png.end() - 20));
    testsupport::writeFile(in / "text.png", Bytes(40, 'x'));
    Bytes huge = png;
    huge[18] = 0x20;  // 8196 pixels wide, the header's checksum made to match
    const auto crc = static_cast<std::uint32_t>(crc32(0, huge.data() + 12, 17));
    for (int k = 0; k < 4; ++k) {
        huge[static_cast<std::size_t>(29 + k)] = static_cast<std::uint8_t>(crc >> (24 - 8 * k));
    }
    testsupport::writeFile(in / "huge.png", huge);
    testsupport::writeFile(in / "t.bin", Bytes(5, 't'));
    testsupport::writeFile(in / "empty.bin", {});
    // Outside the folder, and links to it, to a device, and in a subfolder.
    testsupport::writeFile(folder / "secret", Bytes(6, 's'));
    writePng(folder / "secret.png", image);
    fs::create_symlink("../secret", in / "out-link");
    fs::create_symlink("../../secret.png", in / "sub" / "out-link.png");
    fs::create_symlink("/dev/zero", in / "zero");
    ASSERT_EQ(::mkfifo((in / "fifo").c_str(), 0644), 0);
    // Sparse: past the limits without taking the disk.
    testsupport::writeFile(in / "large.bin", {});
    fs::resize_file(in / "large.bin", (std::uintmax_t{1} << 32) + 1);
    testsupport::writeFile(in / "large.png", png);
    fs::resize_file(in / "large.png", png::kMaxPngFileSize + 1);
    // Manifests that are no text file, or too large to parse.
    fs::create_directories(folder / "device");
    fs::create_symlink("/dev/zero", folder / "device" / "skin.toml");
    fs::create_directories(folder / "large");
    testsupport::writeFile(folder / "large" / "skin.toml", Bytes(16 << 20, '#'));
    fs::resize_file(folder / "large" / "skin.toml", (16 << 20) + 1);
    const std::string head = "[database]\nname = \"X\"\ntype = \"rsrc\"\ncreator = \"sBar\"\n";
    const auto bitmap = [](const std::string& member) {
        return "[[resource]]\ntype = \"abmp\"\nid = 1\n[[resource.member]]\n" + member;
    };
    // A bitmap's members, 3 or 4 lines each.
    const std::string abmp = "[[resource]]\ntype = \"abmp\"\nid = 1\n";
    const auto member = [](const std::string& image, int depth, int density = 72) {
        return "[[resource.member]]\nimage = \"" + image + "\"\ndepth = " + std::to_string(depth) +
               "\n" + (density == 72 ? "" : "density = " + std::to_string(density) + "\n");
    };
    // A resource of its own bytes, named at line 8.
    const auto resourceOf = [](const std::string& name) {
        return "[[resource]]\ntype = \"tSTR\"\nid = 1\nfile = \"" + name + "\"\n";
    };
    const auto named = [&head, &resourceOf](const std::string& name) {
        return head + resourceOf(name);
    };
    const std::string absolute = "must be relative to the manifest's folder";
    const std::string device = "names a device on Windows";
    const std::string colon = "holds a colon";
    const auto deep = [](const std::string& open, const std::string& close) {
        std::string key = open + "a";
        for (int k = 1; k < 300000; ++k) {
            key += ".a";
        }
        return key + close + "\n";
    };
    const std::string limitFound = "skin.toml:1: a key or table name of more than 32 dotted parts";
    struct Case {
        const char* name;
        std::string manifest;
        std::string named;          // in the one line on standard error
        std::string folder = "in";  // where the manifest is
    };
    const std::vector<Case> cases = {
        {"an absolute name", named("/etc/passwd"),
         "skin.toml:8: resource.file: /etc/passwd: " + absolute},
        {"an absolute name of one part", named("/x"), absolute},
        {"an absolute name with a backslash", named("\\\\x"), absolute},
        {"a share", named("\\\\\\\\server\\\\share\\\\x"), "\\\\server\\share\\x: " + absolute},
        {"a drive", named("C:\\\\windows\\\\win.ini"), "C:\\windows\\win.ini: " + colon},
        {"a drive without a folder", named("c:t.bin"), colon},
        {"a stream", named("t.bin:more"), colon},
        {"a way up", named("../../x"), "resource.file: ../../x: must stay inside"},
        {"a way up and back", named("sub/../t.bin"), "must stay inside"},
        {"a way up with backslashes", named("sub\\\\..\\\\..\\\\secret"), "must stay inside"},
        {"a way up from an image", head + bitmap("image = \"../secret.png\"\ndepth = 8\n"),
         "skin.toml:9: resource.member.image: ../secret.png: must stay inside"},
        {"a way up from an original",
         head + "[[resource]]\ntype = \"abmp\"\nid = 1\noriginal = \"../secret\"\n",
         "skin.toml:8: resource.original: ../secret: must stay inside"},
        {"a NUL in a name", named("t.bin\\u0000junk"),
         "resource.file: t.bin\\x00junk: holds a NUL"},
        {"a device", named("con"), "con: " + device},
        {"a device with an extension", named("Aux.bin"), device},
        {"a device in a subfolder", named("sub/lpt9.txt"), device},
        {"a device with spaces", named("sub/COM1 .txt"), device},
        {"a device of three letters", named("nul"), device},
        {"a part ending in a dot", named("t.bin."), "ends in a dot or a space"},
        {"a name past the limit", named(std::string(10 << 20, 'n')),
         "is longer than the limit of 1024 bytes"},
        {"a link out", named("out-link"),
         "skin.toml:5: " + (in / "out-link").string() + ": leads out of the manifest's folder"},
        {"a link out from a subfolder", head + bitmap("image = \"sub/out-link.png\"\ndepth = 8\n"),
         "out-link.png: leads out of the manifest's folder"},
        {"a link to a device", named("zero"), "zero: leads out of the manifest's folder"},
        {"a FIFO", named("fifo"), "fifo: not a regular file"},
        {"a folder", named("sub"), "sub: cannot open the file"},
        {"the folder itself", named("."), "cannot open the file"},
        {"a file larger than a database", named("large.bin"),
         "large.bin: larger than 4 GB, the most a database can hold"},
        {"a PNG file past the limit", head + bitmap("image = \"large.png\"\ndepth = 8\n"),
         "large.png: larger than " + std::to_string(png::kMaxPngFileSize >> 20) +
             " MB, the limit for a PNG file"},
        {"a manifest that is a device", "", "skin.toml: not a regular file", "device"},
        {"a manifest past 16 MB", "", "skin.toml: larger than 16 MB, the limit for a manifest",
         "large"},
        {"deep table names", deep("[", "]"), limitFound},
        {"deep names of tables in an array", deep("[[", "]]"), limitFound},
        {"deep dotted keys", deep("", " = 1"), limitFound},
        {"deep dotted keys in an inline table", deep("x = [{", " = 1}]"), limitFound},
        // Some 80 bytes of the parser's memory for each of its two bytes.
        {"a million inline tables",
         [] {
             std::string tables = "x = [{}";
             for (int k = 0; k < 600000; ++k) {
                 tables += ",{}";
             }
             return tables + "]\n";
         }(),
         "skin.toml:1: more than 1000000 keys, tables and values, the limit for a manifest"},
        {"a byte-order mark, then an unknown key", "\xEF\xBB\xBF" + head + "colour = 1\n",
         "skin.toml:5: database.colour: unknown key"},
        {"a missing image", head + bitmap("image = \"b.png\"\ndepth = 8\n"),
         "skin.toml:8: " + (in / "b.png").string() + ": cannot open"},
        {"not a PNG", head + bitmap("image = \"text.png\"\ndepth = 8\n"),
         "text.png: not a PNG file"},
        {"a PNG cut short", head + bitmap("image = \"cut.png\"\ndepth = 8\n"),
         "cut.png: the PNG file is damaged"},
        {"an image over the limit", head + bitmap("image = \"huge.png\"\ndepth = 8\n"),
         "limit is 4096x4096"},
        {"an unknown key", head + "colour = 1\n", "skin.toml:5: database.colour: unknown key"},
        {"an unknown value", head + bitmap("image = \"a.png\"\ndepth = 8\ncompression = \"zip\"\n"),
         "skin.toml:11: resource.member.compression: compression is one of \"none\", "
         "\"scanline\", \"rle\", \"packbits\", \"best\", not the text \"zip\""},
        {"more colours than the depth has",
         head + bitmap("image = \"a.png\"\ndepth = 4\ncolours = 17\n"),
         "skin.toml:11: resource.member.colours: must be a number from 2 to 16 at depth 4"},
        {"colours at 16 bits", head + bitmap("image = \"a.png\"\ndepth = 16\ncolours = 4\n"),
         "skin.toml:11: resource.member.colours: applies to depths 1 to 8"},
        {"colours in other words",
         head + bitmap("image = \"a.png\"\ndepth = 8\ncolours = \"all\"\n"),
         "skin.toml:11: resource.member.colours: colours is \"system\", \"image\" or a number "
         "of colours from 2 to 256, not the text \"all\""},
        {"a depth no member can have", head + bitmap("image = \"a.png\"\ndepth = 3\n"),
         "skin.toml:10: resource.member.depth: depth is one of 1, 2, 4, 8, 16, not 3"},
        {"a density that needs version 3",
         head + bitmap("image = \"a.png\"\ndepth = 8\ndensity = 144\nversion = 2\n"),
         "resource.member.density: density 144 needs version 3"},
        {"a version no member can have",
         head + bitmap("image = \"a.png\"\ndepth = 8\nversion = 4\n"),
         "skin.toml:11: resource.member.version: version is one of 1, 2, 3, not 4"},
        {"a compression that version 1 lacks",
         head + bitmap("image = \"a.png\"\ndepth = 8\nversion = 1\ncompression = \"rle\"\n"),
         "skin.toml:12: resource.member.compression: version 1 compresses by scan line only"},
        {"two members of one depth and density",
         head + abmp + member("a.png", 8) + member("a.png", 8),
         "skin.toml:11: resource.member: a.png: a second member of 8 bpp at density 72 (the first "
         "is a.png at line 8): a handheld shows only one of them"},
        {"a density-144 member of another size",
         head + abmp + member("a.png", 8) + member("a.png", 16, 144),
         "skin.toml:11: resource.member: a.png: 4x2 where a.png at line 8 (4x2) makes 8x4 at "
         "density 144: handhelds that draw this member show the picture at another size"},
        // Put behind the density-72 members, the density-144 one measures right.
        {"a density-144 member listed first, then a second one of 8 bpp",
         head + abmp + member("dense.png", 8, 144) + member("a.png", 8) + member("a.png", 8),
         "skin.toml:15: resource.member: a.png: a second member of 8 bpp at density 72 (the first "
         "is a.png at line 12)"},
        {"half a pixel either way at density 108, then a member too large",
         head + abmp + member("odd.png", 8) + member("up.png", 8, 108) +
             member("down.png", 16, 108) + member("dense.png", 4, 108),
         "skin.toml:19: resource.member: dense.png: 8x4 where odd.png at line 8 (3x1) makes 5x2 "
         "at density 108"},
        // Without a member of density 72: the picture's size there, 3x1 for
        // 5x2 at 108; and where an odd side at 144 leaves half a pixel, the
        // side scaled alone.
        {"members of 108 and 144 only",
         head + abmp + member("up.png", 8, 108) + member("dense.png", 8, 144),
         "skin.toml:12: resource.member: dense.png: 8x4 where up.png at line 8 (5x2 at density "
         "108) makes 6x2 at density 144"},
        {"an odd side at 144, then 288",
         head + abmp + member("odd.png", 8, 144) + member("up.png", 8, 288),
         "skin.toml:12: resource.member: up.png: 5x2 where odd.png at line 8 (3x1 at density "
         "144) makes 6x2 at density 288"},
        {"two resources of one type and id",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 5\nfile = \"a.png\"\n[[resource]]\ntype = "
                "\"tSTR\"\nid = 5\nfile = \"a.png\"\n",
         "skin.toml:9: resource.id: a second resource \"tSTR\" 5 (the first is at line 5)"},
        {"not TOML", head + "[[resource]\n",
         "skin.toml:5: a table's name is not written right; write [database], [[resource]] or "
         "[[resource.member]] alone on its line"},
        {"a character outside Windows-1252 in a text",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"\xC5\x81\xC3\xB3"
                "d\xC5\xBA\"\n",
         "skin.toml:8: resource.text: holds \"\xC5\x81\" (U+0141), which the handheld's "
         "character set (Windows-1252) does not have"},
        {"a character that would turn the line in a text",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"a\xE2\x80\xAE"
                "b\"\n",
         "skin.toml:8: resource.text: holds U+202E, which"},
        {"a NUL in a text", head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"a\\u0000b\"\n",
         "skin.toml:8: resource.text: holds a NUL (\\u0000); build closes the text with one"},
        {"a control character in a text",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"\\u0007\"\n",
         "resource.text: holds the control character U+0007; of those a text may hold a tab, a "
         "newline or a carriage return only"},
        {"a byte Windows-1252 leaves empty, in a text",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"\\u0081\"\n",
         "resource.text: holds the control character U+0081"},
        {"a text and a file",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\ntext = \"a\"\nfile = \"t.bin\"\n",
         "skin.toml:5: resource.file: a resource takes one of a file, a text or "
         "[[resource.member]] images"},
        {"a data order that leaves a resource out",
         head + "dataOrder = [2]\n" + resourceOf("t.bin") +
             "[[resource]]\ntype = \"tSTR\"\nid = 2\n"
             "text = \"\"\n",
         "skin.toml:5: database.dataOrder: must name each of the 2 resources once, by its place "
         "among the [[resource]] tables (1 to 2)"},
        {"a data order that names one twice",
         head + "dataOrder = [1, 1]\n" + resourceOf("t.bin") +
             "[[resource]]\ntype = \"tSTR\"\nid = "
             "2\ntext = \"\"\n",
         "database.dataOrder: must name each of the 2 resources once"},
        {"an empty resource before the data of one earlier in the directory",
         head + "dataOrder = [2, 1]\n" + resourceOf("t.bin") +
             "[[resource]]\ntype = \"tSTR\"\nid = 2\nfile = \"empty.bin\"\n",
         "skin.toml:5: database.dataOrder: the empty resource \"tSTR\" 2 would stand where the "
         "data of \"tSTR\" 1 begin"},
        {"a gap of a negative length", head + "gap = -2\n",
         "skin.toml:5: database.gap: gap is a number of zero bytes from 0 to 65535, or the name of "
         "a file that holds the gap, in quotes, not -2"},
        {"a gap file outside the folder", head + "gap = \"../secret\"\n",
         "skin.toml:5: database.gap: ../secret: must stay inside"},
        {"a missing appInfo file", head + "appInfo = \"app.bin\"\n",
         "skin.toml:5: " + (in / "app.bin").string() + ": cannot open"},
        {"an appInfo block and its number", head + "sortInfo = \"t.bin\"\nsortInfoId = 0x100\n",
         "skin.toml:6: database.sortInfoId: give either sortInfo"},
        {"no database", "[[resource]]\ntype = \"tSTR\"\nid = 5\nfile = \"a.png\"\n",
         "skin.toml:1: database:"},
        {"a character outside quotes", head + "\xC3\xA9 = 1\n",
         "skin.toml:5: a character that is not UTF-8 text in quotes or a comment"},
        {"a name the handheld cannot show", "[database]\nname = \"\xC5\x81\"\n",
         "skin.toml:2: database.name: has a character the handheld cannot show, \xC5\x81; write "
         "it with the characters of Windows-1252"},
        {"a name too long",
         "[database]\nname = \"" + std::string(32, 'n') +
             "\"\ntype = \"rsrc\"\ncreator = \"sBar\"\n",
         "skin.toml:2: database.name: name is 1 to 31 characters"},
        // The parser's complaints in the manifest's words: what, where (the
        // key when the line has one), how to mend it.
        {"text not closed on its line", head + bitmap("image = \"a.png\ndepth = 8\n"),
         "skin.toml:9: resource.member.image: text in quotes is not closed on its line; end it"},
        {"text not closed at the end", head + bitmap("image = \"\"\"a.png\ndepth = 8\n"),
         "skin.toml:10: text in quotes is not closed when the manifest ends"},
        {"a control character in quotes", head + bitmap("image = \"a\x01.png\"\ndepth = 8\n"),
         "resource.member.image: a control character in text in quotes; write it as an escape"},
        {"a control character in a comment", head + "# made \x01 by hand\n",
         "skin.toml:5: a control character in a comment; delete it"},
        {"a backslash of a Windows path", head + bitmap("image = \"sub\\a.png\"\ndepth = 8\n"),
         "resource.member.image: a backslash that begins no escape; write \\\\ for one"},
        {"an escape of TOML to come", head + bitmap("image = \"\\x41.png\"\ndepth = 8\n"),
         "resource.member.image: \\e and \\x are no escapes in a manifest"},
        {"an escape cut short", head + bitmap("image = \"\\u41.png\"\ndepth = 8\n"),
         "resource.member.image: \\u takes four hexadecimal digits"},
        {"an escape of no character", head + bitmap("image = \"\\uD800.png\"\ndepth = 8\n"),
         "resource.member.image: an escape that names no character"},
        {"a key given twice", head + "type = \"appl\"\n",
         "skin.toml:5: database.type: is given twice in its table; keep one"},
        {"a second [database]", head + "[database]\n",
         "skin.toml:5: a second [database] table; a table is written once"},
        {"a resource with one bracket",
         head + "[[resource]]\ntype = \"tSTR\"\nid = 1\nfile = \"t.bin\"\n[resource]\n",
         "skin.toml:9: [resource] after resource was written as a key or with two brackets"},
        {"a number with a letter", head + "version = 1x\n",
         "skin.toml:5: database.version: a number is not written right; write a whole number"},
        {"a number with a leading zero", head + "version = 01\n",
         "database.version: a number with a leading zero; write 31000, or 0x7918"},
        {"a number of 66 bits", head + "version = 0x20000000000000000\n",
         "database.version: a number too large; no key takes more than 4294967295"},
        {"a number cut at its point", head + "version = 1.\n",
         "database.version: a number is not written right, and no key takes a fraction"},
        {"a date of TOML, wrong", head + "created = 2026-13-01\n",
         "database.created: a date is not written right, and no key takes a date"},
        {"a list not closed", head + "version = [1\n", "skin.toml:5: a list in [ ] is not closed"},
        {"a table in braces not closed", head + "version = { a = 1\n",
         "database.version: a table in { } is not closed on its line"},
        {"a key without a value", head + "version =\n",
         "skin.toml:5: database.version: a key without a value"},
        {"a key without =", head + "version 1\n",
         "skin.toml:5: database.version: a key without =; write key = value"},
        {"two values", head + "version = 1 2\n",
         "database.version: more after the value; write one key = value a line"},
        {"a carriage return alone", head + "version = 1\rid = 2\n",
         "database.version: a carriage return that ends no line"},
        {"a word without quotes", head + "version = abmp\n",
         "database.version: a value that is not written right; text goes in quotes"},
        {"a line of nothing known", head + "= 1\n",
         "skin.toml:5: a line that is neither key = value, a [table] nor a # comment"},
        // A value the key does not take says what the key takes.
        {"a depth in quotes", head + bitmap("image = \"a.png\"\ndepth = \"16\"\n"),
         "skin.toml:10: resource.member.depth: depth is one of 1, 2, 4, 8, 16, not the text "
         "\"16\"; write depth = 16, without quotes"},
        {"a depth past a byte", head + bitmap("image = \"a.png\"\ndepth = 300\n"),
         "resource.member.depth: depth is one of 1, 2, 4, 8, 16, not 300"},
        {"a density in quotes", head + bitmap("image = \"a.png\"\ndepth = 8\ndensity = \"144\"\n"),
         "resource.member.density: density is one of 72, 108, 144, 216, 288, not the text "
         "\"144\"; write density = 144"},
        {"an id past 16 bits", head + "[[resource]]\ntype = \"tSTR\"\nid = 65536\n",
         "skin.toml:7: resource.id: id is a whole number from 0 to 65535, not 65536"},
        {"a code as a number in quotes", head + "[[resource]]\ntype = \"0x74535452\"\n",
         "resource.type: type is four characters in quotes (\"abmp\") or a number of 32 bits, not "
         "the text \"0x74535452\"; write type = 0x74535452, without quotes"},
        {"a date of TOML", head + "created = 2026-12-10\n",
         "database.created: created is the seconds since 1 January 1904, a whole number from 0 "
         "to 0xFFFFFFFF, not a date or time"},
        {"a number with a fraction", head + "version = 1.5\n",
         "database.version: version is a whole number from 0 to 65535, not a number with a "
         "fraction"},
        {"attributes past 16 bits", head + "attributes = 0x10000\n",
         "database.attributes: attributes is a whole number from 0 to 0xFFFF, not 65536"},
        {"dither in words", head + bitmap("image = \"a.png\"\ndepth = 8\ndither = \"yes\"\n"),
         "resource.member.dither: dither is true or false, not the text \"yes\""},
        {"a colour by name", head + bitmap("image = \"a.png\"\ndepth = 8\ntransparent = \"red\"\n"),
         "resource.member.transparent: transparent is a colour in quotes, \"#rrggbb\", not"},
        {"colours as a number", head + bitmap("image = \"a.png\"\ndepth = 8\ncolours = true\n"),
         "resource.member.colours: colours is \"system\", \"image\" or a number of colours "
         "from 2 to 256, not true"},
        {"a name as a number", "[database]\nname = 5\n",
         "skin.toml:2: database.name: name is 1 to 31 characters that the handheld shows"},
        {"a missing depth", head + bitmap("image = \"a.png\"\n"),
         "skin.toml:8: resource.member.depth: is missing in [[resource.member]]; depth is one of "
         "1, 2, 4, 8, 16"},
        {"a missing creator", "[database]\nname = \"X\"\ntype = \"rsrc\"\n",
         "skin.toml:1: database.creator: is missing in [database]; creator is four characters"},
        {"a member's key in its resource", head + "[[resource]]\ntype = \"abmp\"\ndepth = 8\n",
         "skin.toml:7: resource.depth: unknown key in [[resource]]; depth belongs in "
         "[[resource.member]]"},
        {"a key of no table", head + bitmap("image = \"a.png\"\ncolors = \"image\"\n"),
         "resource.member.colors: unknown key in [[resource.member]]; it takes image, depth"},
    };
    const bool limited = kAddressSpaceCanBeLimited && fs::exists("/usr/bin/prlimit");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.manifest.empty()) {
            writeText(in / "skin.toml", c.manifest);
        }
        std::vector<std::string> command = {"/usr/bin/timeout", "5"};
        if (limited) {
            command.insert(command.end(), {"/usr/bin/prlimit", "--as=1073741824"});
        }
        command.insert(command.end(), {LUMEN_PATH, "build", folder / c.folder, folder / "out.prc"});
        const RunResult run = testsupport::runProgram(command);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err.substr(0, 1000);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err.substr(0, 1000);
        // A name of megabytes is shown by its ends.
        EXPECT_LT(run.err.size(), 1000u);
        EXPECT_FALSE(fs::exists(folder / "out.prc"));
    }

    // replace: an image of no member's size, a missing id, a damaged image,
    // and writing over an input.
    const fs::path skin = SAMPLE_SKIN_PATH;
    struct Replace {
        std::vector<std::string> arguments;
        std::string named;
    };
    const std::vector<Replace> replaces = {
        {{"31000", (in / "a.png").string(), (folder / "out.prc").string()},
         "a.png: its 4x2 pixels match no member of abmp 31000 (320x480); a new size is for "
         "export and build"},
        {{"4242", (in / "a.png").string(), (folder / "out.prc").string()},
         "has no bitmap of id 4242"},
        {{"31000", (in / "cut.png").string(), (folder / "out.prc").string()},
         "cut.png: the PNG file is damaged"},
        {{"31000", (in / "a.png").string(), (in / "a.png").string()},
         "never writes over its input"},
        {{"abc", (in / "a.png").string(), (folder / "out.prc").string()},
         "abc: is not a resource id"},
    };
    for (const Replace& r : replaces) {
        SCOPED_TRACE(r.named);
        std::vector<std::string> arguments = {"replace", skin.string()};
        arguments.insert(arguments.end(), r.arguments.begin(), r.arguments.end());
        const RunResult run = lumen(arguments);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find(r.named), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(folder / "out.prc"));
    }
    EXPECT_EQ(readFile(in / "a.png"), png);
    // build never writes over its own manifest.
    writeText(in / "skin.toml", head);
    EXPECT_EQ(lumen({"build", in, in / "skin.toml"}).exitStatus, 1);
    EXPECT_EQ(readFile(in / "skin.toml"), Bytes(head.begin(), head.end()));
}

}  // namespace

namespace {

Bytes databaseOf(const std::vector<prc::ResourceEntry>& entries) {
    prc::ResourceTable table;
    table.entries = entries;
    return prc::serializeResourceDatabase(table);
}

std::vector<prc::ResourceEntry> repeated(const Bytes& data, std::size_t count,
                                         std::uint16_t step = 1) {
    std::vector<prc::ResourceEntry> entries;
    for (std::size_t k = 0; k < count; ++k) {
        entries.push_back({kBitmapType, static_cast<std::uint16_t>(31000 + k * step), data, 0});
    }
    return entries;
}

// Skins made to take gigabytes and minutes: each must end in a second or two,
// within 1 GB of address space, with its finding and status 1. Where even
// that is too much, memory running out ends the run the same way, for every
// command. A sanitized build runs without the limit (the budget holds all
// the same) and skips the cases that only the limit makes fail.
TEST(Lumen, HostileSkinsEndWithTheirFindingWithinAGigabyte) {
    REQUIRE_TOOL(fs::exists("/usr/bin/prlimit"), "REQUIRE_PRLIMIT", "prlimit is missing");
    // Version 2, 1 bit deep, 4096 × 4096 in rows of 512 bytes, not compressed.
    const Bytes largeBitmapHeader = {0x10, 0, 0x10, 0, 2, 0, 0, 0, 1, 2, 0, 0, 0, 0xFF, 0, 0, 0};
    const Bytes oneMegabyteOfFamily = [] {
        // Every four bytes a member header whose next member lies four bytes on.
        Bytes bitmap;
        for (int k = 0; k < (1 << 18); ++k) {
            bitmap.insert(bitmap.end(), {8, 1, 0, 1});
        }
        return bitmap;
    }();
    // Manifests for build, each beside one 4096x4096 PNG: the budget is judged
    // from the PNG's header, before anything is encoded.
    const std::string head = "[database]\nname = \"X\"\ntype = \"rsrc\"\ncreator = \"sBar\"\n";
    const auto manifest = [&head](int resources, int members, int depth) {
        std::string text = head;
        for (int r = 0; r < resources; ++r) {
            text += "[[resource]]\ntype = \"abmp\"\nid = " + std::to_string(r) + "\n";
            for (int m = 0; m < members; ++m) {
                text +=
                    "[[resource.member]]\nimage = \"big.png\"\ndepth = " + std::to_string(depth) +
                    "\n";
            }
        }
        return text;
    };
    struct Case {
        const char* name;
        std::vector<prc::ResourceEntry> entries;
        std::string command;
        std::string finding;  // on standard output for check, standard error otherwise
        std::string addressSpace = "1073741824";
        std::string manifest = {};  // for build, instead of the entries
        // The input is a file of that many zero bytes (sparse) instead: the
        // skin, or for build the manifest. Running out is on standard error.
        std::uintmax_t zeros = 0;
    };
    const auto zeros = [](const char* command, const char* finding = "out of memory") {
        return Case{"3 GB of zeros", {}, command, finding, "1073741824", {}, 3ull << 30};
    };
    const std::vector<Case> cases = {
        {"109 bytes declaring 4 GB", repeated(skinbuilder::repeatingContainer({0}, 0xFFFFFFFF), 1),
         "check", "declares 4294967295 bytes, more than a bitmap may hold"},
        {"containers of 143 MB each",
         repeated(skinbuilder::repeatingContainer({0}, 143u << 20), 15), "unpack",
         "more than a bitmap may hold"},
        {"containers within the limit but past the budget",
         repeated(skinbuilder::repeatingContainer({0}, 64u << 20), 15), "unpack",
         "pass the budget of 256 MB"},
        {"forty 4096x4096 bitmaps in 1.9 KB",
         repeated(skinbuilder::repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 40), "check",
         "pixels pass the budget"},
        {"the same, exported",
         repeated(skinbuilder::repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 40),
         "export", "pixels pass the budget"},
        {"family members four bytes apart", repeated(oneMegabyteOfFamily, 1), "check",
         "next bitmap at 4 begins inside the one before"},
        {"a 4096x4096 bitmap in 48 MB of address space",
         repeated(skinbuilder::repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 1), "list",
         "skin.prc: out of memory", "50331648"},
        // 14 members of 32 MB at 16 bits, 16 million pixels each.
        {"65,535 resources naming one 4096x4096 PNG",
         {},
         "build",
         "skin.toml:83: the resources up to here may take 469762706 bytes; this passes the "
         "build's budget of 469762048 bytes (448 MB)",
         "1073741824",
         manifest(65535, 1, 16)},
        {"the same at depth 1",
         {},
         "build",
         "skin.toml:101: the images up to here have 285212672 pixels; this passes the build's "
         "budget of 268435456 pixels",
         "1073741824",
         manifest(65535, 1, 1)},
        {"one bitmap of 130 such members",
         {},
         "build",
         "skin.toml:5: the database up to here may take 4362080294 bytes; its 32-bit offsets "
         "reach 4294967295",
         "1073741824",
         manifest(1, 130, 16)},
        zeros("list"),
        zeros("check"),
        zeros("export"),
        zeros("unpack"),
        zeros("replace"),
        zeros("build", "larger than 16 MB, the limit for a manifest"),
    };
    const Bytes bigPng = png::encodeRgbaPng(4096, 4096, Bytes(std::size_t{4096} * 4096 * 4, 0));
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", " + c.command);
        const bool small = c.addressSpace != cases.front().addressSpace || c.zeros > 0;
        if (small && !testsupport::kAddressSpaceCanBeLimited) {
            continue;
        }
        TempFolder folder;
        std::vector<std::string> command = {LUMEN_PATH, c.command, folder / "skin.prc"};
        const fs::path input =
            c.command == "build" ? folder / "in" / "skin.toml" : fs::path(command[2]);
        if (c.command == "build") {
            fs::create_directories(folder / "in");
            testsupport::writeFile(folder / "in" / "big.png", bigPng);
            writeText(input, c.manifest);
            command[2] = folder / "in";
        } else {
            testsupport::writeFile(input, databaseOf(c.entries));
        }
        if (c.zeros > 0) {
            testsupport::writeFile(input, {});
            fs::resize_file(input, c.zeros);
        }
        if (c.command == "replace") {
            command.insert(command.end(), {"31000", folder / "skin.prc"});
        }
        if (c.command != "check" && c.command != "list") {
            command.push_back(folder / "out");
        }
        if (testsupport::kAddressSpaceCanBeLimited) {
            command = testsupport::withinAddressSpace(std::stoull(c.addressSpace), command);
        }
        const RunResult run = testsupport::runProgram(command);
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        EXPECT_EQ(run.endingSignal, 0);
        EXPECT_NE((c.command == "check" && c.zeros == 0 ? run.out : run.err).find(c.finding),
                  std::string::npos)
            << run.out << run.err;
        if (c.zeros > 0 || c.command == "unpack" || c.command == "build") {
            EXPECT_FALSE(fs::exists(folder / "out"));
        }
        if (c.command == "build") {
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        if (c.command == "export" && c.zeros == 0) {
            // What fitted the budget, and the contact sheet that lists the rest
            // (beside the manifest and every resource's bytes).
            std::vector<std::string> pictures;
            for (const std::string& name : testsupport::folderContents(folder / "out")) {
                if (name.ends_with(".png") || name.ends_with(".html")) {
                    pictures.push_back(name);
                }
            }
            EXPECT_EQ(pictures, (std::vector<std::string>{"31000.png", "31001.png", "31002.png",
                                                          "index.html"}));
            EXPECT_TRUE(fs::is_regular_file(folder / "out" / "skin.toml"));
        }
    }
}

// Names that export chooses are its own: whatever has one in the folder (a
// link to a file elsewhere, a dangling link, a FIFO) is replaced by a new
// file, never followed. The folder the user names may itself be a link.
TEST(Lumen, ExportReplacesLinksAndOtherFilesOfItsNamesWithoutFollowingThem) {
    TempFolder folder;
    const fs::path elsewhere = folder / "elsewhere";
    const fs::path exported = folder / "exported";
    fs::create_directories(elsewhere);
    fs::create_directories(exported);
    testsupport::writeFile(elsewhere / "precious", Bytes(5, 'p'));
    testsupport::writeFile(elsewhere / "page", Bytes(5, 'h'));
    fs::create_symlink(elsewhere / "precious", exported / "31000.png");
    fs::create_symlink(elsewhere / "page", exported / "index.html");
    fs::create_symlink(elsewhere / "made", exported / "31010.png");
    ASSERT_EQ(::mkfifo((exported / "31011.png").c_str(), 0644), 0);
    fs::create_directory_symlink(exported, folder / "link-to-folder");

    const RunResult run = lumen({"export", SAMPLE_SKIN_PATH, folder / "link-to-folder"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(testsupport::folderContents(elsewhere),
              (std::vector<std::string>{"page", "precious"}));
    EXPECT_EQ(readFile(elsewhere / "precious"), Bytes(5, 'p'));
    EXPECT_EQ(readFile(elsewhere / "page"), Bytes(5, 'h'));
    for (const char* name : {"31000.png", "index.html", "31010.png", "31011.png"}) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(exported / name))) << name;
    }
    EXPECT_TRUE(fs::is_symlink(folder / "link-to-folder"));
    // 10 images, index.html, skin.toml and the bytes of the 13 resources but
    // the two of text, which the manifest holds.
    EXPECT_EQ(testsupport::folderContents(exported).size(), 23u);
}

// A skin dropped on Lumen goes to the folder of its name beside it unless
// something else has that name: a file, a link, a folder of other things, an
// export of another skin or one whose files were changed all stay as they
// were, and the next free name ("Blue (2)") is taken. An earlier export of
// this skin that nobody changed is written again. The contact sheet is
// opened only with a display and without LUMEN_NO_OPEN.
TEST(Lumen, DroppedSkinGoesBesideItWhereNothingElseIsTouched) {
    TempFolder folder;
    const fs::path bin = folder / "bin";
    const fs::path opened = folder / "opened";
    fs::create_directories(bin);
    writeText(bin / "xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + opened.string() + "'\n");
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const std::string path = "PATH=" + bin.string() + ":" + std::getenv("PATH");
    const Bytes sample = readFile(SAMPLE_SKIN_PATH);
    const auto exportOf = [](const Bytes& skin, const std::string& name, const fs::path& to) {
        const fs::path source = to.parent_path() / "source" / name;
        fs::create_directories(source.parent_path());
        testsupport::writeFile(source, skin);
        ASSERT_EQ(lumen({"export", source, to}).exitStatus, 0);
        fs::remove_all(source.parent_path());
    };
    struct Case {
        std::string what;
        std::function<void(const fs::path&)> before;  // makes what is beside the skin
        std::string expected;                         // the folder written
        std::string skinName = "Blue.prc";
        std::string opening = "LUMEN_NO_OPEN=1";
        std::string display = "DISPLAY=:99";
    };
    const std::vector<Case> cases = {
        {"nothing", [](const fs::path&) {}, "Blue"},
        {"a file", [](const fs::path& at) { writeText(at / "Blue", "notes"); }, "Blue (2)"},
        {"a dangling link",
         [](const fs::path& at) { fs::create_symlink(at / "nowhere", at / "Blue"); }, "Blue (2)"},
        {"a folder of other things",
         [](const fs::path& at) {
             fs::create_directories(at / "Blue");
             writeText(at / "Blue" / "index.html", "mine");
         },
         "Blue (2)"},
        {"an earlier export of this skin",
         [&](const fs::path& at) { exportOf(sample, "Blue.prc", at / "Blue"); }, "Blue"},
        {"an earlier export with an edited image",
         [&](const fs::path& at) {
             exportOf(sample, "Blue.prc", at / "Blue");
             fs::copy_file(at / "Blue" / "31010.png", at / "Blue" / "31000.png",
                           fs::copy_options::overwrite_existing);
         },
         "Blue (2)"},
        {"an export of another skin of the name",
         [&](const fs::path& at) {
             exportOf(readFile(CORPUS_DIR "/demo-skin.prc"), "Blue.prc", at / "Blue");
         },
         "Blue (2)"},
        {"two names taken",
         [](const fs::path& at) {
             writeText(at / "Blue", "notes");
             fs::create_directories(at / "Blue (2)");
         },
         "Blue (3)"},
        {"a skin named as a command", [](const fs::path&) {}, "list (2)", "list"},
        {"no display", [](const fs::path&) {}, "Blue", "Blue.prc", "LUMEN_NO_OPEN=", "DISPLAY="},
        {"the sheet opened", [](const fs::path&) {}, "Blue", "Blue.prc", "LUMEN_NO_OPEN="},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const Case& c = cases[k];
        SCOPED_TRACE(c.what);
        const fs::path at = folder / ("case " + std::to_string(k));
        fs::create_directories(at);
        testsupport::writeFile(at / c.skinName, sample);
        c.before(at);
        const std::map<std::string, std::string> before = treeOf(at);
        // What export writes for a skin of this name, to compare with.
        const fs::path reference = folder / ("reference " + std::to_string(k));
        exportOf(sample, c.skinName, reference);

        const RunResult run =
            lumen({at / c.skinName}, {path, c.display, "WAYLAND_DISPLAY=", c.opening});
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(run.out.ends_with(" written to " + (at / c.expected).string() + "\n"))
            << run.out;
        EXPECT_EQ(treeOf(at / c.expected), treeOf(reference));
        const std::map<std::string, std::string> after = treeOf(at);
        for (const auto& [name, content] : before) {
            EXPECT_EQ(after.count(name) == 1 && after.at(name) == content, true) << name;
        }
        for (const auto& [name, content] : after) {
            EXPECT_TRUE(before.count(name) == 1 || name == c.expected ||
                        name.starts_with(c.expected + "/"))
                << name;
        }
    }
    // The opener runs apart from Lumen, which does not wait for it.
    const std::string sheet =
        (folder / ("case " + std::to_string(cases.size() - 1)) / "Blue" / "index.html").string();
    for (int wait = 0; wait < 100 && !fs::exists(opened); ++wait) {
        ::usleep(50000);
    }
    ::usleep(50000);
    const Bytes shown = fs::exists(opened) ? readFile(opened) : Bytes{};
    EXPECT_EQ(std::string(shown.begin(), shown.end()), sheet + "\n");
}

// Unpack writes through the same writer as Tessel: what the user may not
// write is refused, and as root only another user shows it.
TEST(Lumen, UnpackRefusesAWriteProtectedOutputForAUserWhoIsNotRoot) {
    TempFolder folder;
    ASSERT_EQ(testsupport::runProgram({TESSEL_PATH, SAMPLE_SKIN_PATH, folder / "t.prc"}).exitStatus,
              0);
    testsupport::writeFile(folder / "out.prc", Bytes(123, 0x42));
    ASSERT_TRUE(testsupport::giveToUnprivilegedUser(folder.path));
    fs::permissions(folder / "out.prc", fs::perms::owner_write, fs::perm_options::remove);
    const RunResult run = testsupport::runProgram(testsupport::asUnprivilegedUser(
        {LUMEN_PATH, "unpack", folder / "t.prc", folder / "out.prc"}));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("out.prc: cannot write the file: Permission denied"), std::string::npos)
        << run.err;
    EXPECT_EQ(readFile(folder / "out.prc"), Bytes(123, 0x42));
    EXPECT_EQ(testsupport::folderContents(folder.path),
              (std::vector<std::string>{"out.prc", "t.prc"}));
}

// A database name is in the handheld's character set (Windows-1252), a path
// is whatever the user gave: both reach the terminal and the contact sheet as
// UTF-8 text without control characters.
TEST(Lumen, ShowsNamesAsTextWithoutControlCharacters) {
    TempFolder folder;
    prc::ResourceTable table = tableOf(SAMPLE_SKIN_PATH);
    const std::string name =
        "Bl\xe5"
        "b\xe6r \x80\x1b[2J\x81";
    table.header.name.fill(0);
    std::copy(name.begin(), name.end(), table.header.name.begin());
    Bytes file = prc::serializeResourceDatabase(table);
    const std::string shown = "Blåbær €\\x1b[2J\\x81";
    const fs::path skin = folder / "skin\x1b]0;title\x07.prc";
    const std::string skinShown = (folder / "skin\\x1b]0;title\\x07.prc").string();
    testsupport::writeFile(skin, file);

    const RunResult list = lumen({"list", skin});
    EXPECT_EQ(list.exitStatus, 0);
    EXPECT_NE(list.out.find("name        " + shown + "\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("file        " + skinShown + "\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.out.find('\x1b'), std::string::npos);

    ASSERT_EQ(lumen({"export", skin, folder / "out"}).exitStatus, 0);
    const Bytes sheet = readFile(folder / "out" / "index.html");
    const std::string html(sheet.begin(), sheet.end());
    EXPECT_NE(html.find("Database &quot;" + shown + "&quot;"), std::string::npos);
    EXPECT_EQ(html.find('\x1b'), std::string::npos);

    const RunResult missing = lumen({"check", (folder / "gone\x1b[2J.prc").string()});
    EXPECT_NE(missing.err.find("gone\\x1b[2J.prc: cannot open"), std::string::npos) << missing.err;
    EXPECT_EQ(missing.err.find('\x1b'), std::string::npos);
}

// A damaged skin may hold one id many times; export's names for them are
// 1000.png, 1000-2.png and on, found without trying every earlier suffix
// again. On a memory disk, so that the disk's syncs do not hide the time.
TEST(Lumen, ExportNamesThousandsOfResourcesWithOneId) {
    TempFolder folder;
    const testsupport::SmallDisk disk(folder / "disk", 128 << 10);
    REQUIRE_SMALL_DISK(disk);
    // Version 2, 1 × 1 pixel, 1 bit deep.
    const Bytes tiny = {0, 1, 0, 1, 0, 2, 0, 0, 1, 2, 0, 0, 0, 0xFF, 0, 0, 0x80, 0};
    constexpr std::size_t kCount = 8000;
    testsupport::writeFile(folder / "skin.prc", databaseOf(repeated(tiny, kCount, 0)));
    const RunResult run = lumen({"export", folder / "skin.prc", folder / "disk" / "out"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::vector<std::string> expected = {"31000.png", "index.html", "abmp-31000.bin", "skin.toml"};
    for (std::size_t k = 2; k <= kCount; ++k) {
        expected.push_back("31000-" + std::to_string(k) + ".png");
        expected.push_back("abmp-31000-" + std::to_string(k) + ".bin");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(testsupport::folderContents(folder / "disk" / "out"), expected);
}

}  // namespace
