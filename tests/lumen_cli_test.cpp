// Runs the built Lumen on the sample, the corpus and Tessel's outputs of them:
// exported PNG files against netpbm's reading of the plain bitmaps, unpacked
// skins against the originals, damage that check must name, and the contact
// sheet in headless Chromium.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "compressed_bitmap.h"
#include "files.h"
#include "netpbm_reference.h"
#include "required_tool.h"
#include "resource_database.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::readFile;
using testsupport::RunResult;
using testsupport::TempFolder;

constexpr prc::TypeCode kBitmapType = prc::typeCode("abmp");

RunResult lumen(const std::vector<std::string>& arguments) {
    std::vector<std::string> command = {LUMEN_PATH};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return testsupport::runProgram(command);
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
        std::vector<std::string> expected = {"index.html"};
        for (const prc::ResourceEntry& entry : tableOf(skin).entries) {
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
    EXPECT_EQ(testsupport::folderContents(folder / "out"),
              (std::vector<std::string>{"1000-16bpp-144.png", "1000-8bpp.png", "Tbmp-1000.png",
                                        "index.html"}));
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
    };
    const fs::path good = SAMPLE_SKIN_PATH;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path skin = folder / "damaged.prc";
        testsupport::writeFile(skin, damagedSample(folder, c.id, c.change));
        const RunResult check = lumen({"check", good, skin});
        EXPECT_EQ(check.exitStatus, 1);
        const std::string line = skin.string() + ": abmp " + std::to_string(c.id) + ": ";
        EXPECT_NE(check.out.find(line), std::string::npos) << check.out;
        EXPECT_NE(check.out.find(c.finding), std::string::npos) << check.out;
        EXPECT_EQ(std::count(check.out.begin(), check.out.end(), '\n'), 3) << check.out;

        const RunResult list = lumen({"list", skin});
        EXPECT_EQ(list.exitStatus, 0);
        EXPECT_NE(list.out.find("damaged: "), std::string::npos);
        const RunResult exported = lumen({"export", skin, folder / "out"});
        EXPECT_EQ(exported.exitStatus, 1);
        EXPECT_NE(exported.err.find(line), std::string::npos) << exported.err;
        EXPECT_EQ(testsupport::folderContents(folder / "out").size(),
                  10u);  // 9 of 10, and index.html
        fs::remove_all(folder / "out");
    }
    EXPECT_EQ(lumen({"check", good, folder / "t.prc"}).exitStatus, 0);
}

TEST(Lumen, RefusesWithALineNamingTheFile) {
    TempFolder folder;
    testsupport::writeFile(folder / "skin.prc", readFile(SAMPLE_SKIN_PATH));
    testsupport::writeFile(folder / "short.prc", Bytes(40, 1));
    testsupport::writeFile(folder / "file", Bytes(3, 1));
    const std::string skin = (folder / "skin.prc").string();
    const std::string otherSpelling = (folder / "." / "skin.prc").string();
    struct Case {
        std::vector<std::string> arguments;
        std::string named;
    };
    const std::vector<Case> cases = {
        {{"list", (folder / "missing.prc").string()}, "missing.prc: cannot open"},
        {{"check", (folder / "short.prc").string()}, "short.prc: not a resource database"},
        {{"export", skin, (folder / "file").string()}, "file: cannot create the folder"},
        {{"unpack", skin, otherSpelling}, "never writes over its input"},
        {{"unpack", skin, (folder / "no folder" / "out.prc").string()}, "cannot write"},
        {{"export", skin}, "wrong number of arguments"},
        {{"show", skin}, "unknown command"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.named);
        const RunResult run = lumen(c.arguments);
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_NE(run.err.find(c.named), std::string::npos) << run.err;
    }
    EXPECT_EQ(readFile(skin), readFile(SAMPLE_SKIN_PATH));
    EXPECT_EQ(lumen({"--help"}).exitStatus, 0);
}

// The manual page is written by hand: a command added to the program must get
// its subsection there too.
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
    const std::size_t pngs = testsupport::folderContents(folder / "sheet").size() - 2;
    // Every image appears twice: on the dark and on the light ground.
    const std::string expected = std::to_string(2 * pngs) + " of " + std::to_string(2 * pngs);
    EXPECT_NE(run.out.find("data-result=\"" + expected + "\""), std::string::npos)
        << run.out << run.err;
}

}  // namespace
