// Runs the built Lumen on the sample, the corpus and Tessel's outputs of them:
// exported PNG files against netpbm's reading of the plain bitmaps, unpacked
// skins against the originals, damage that check must name, and the contact
// sheet in headless Chromium.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
#include "small_disk.h"
#include "varint.h"

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

namespace {

Bytes databaseOf(const std::vector<prc::ResourceEntry>& entries) {
    prc::ResourceTable table;
    table.entries = entries;
    return prc::serializeResourceDatabase(table);
}

// A container of `total` bytes: the prefix, then its last byte repeated by a
// single match, as few bytes as any size takes.
Bytes repeatingContainer(const Bytes& prefix, std::uint32_t total) {
    constexpr std::uint8_t kMarker = 0xAA;  // no prefix byte is 0xAA
    Bytes stream = {static_cast<std::uint8_t>(kMarker ^ 0x9C)};
    stream.insert(stream.end(), prefix.begin(), prefix.end());
    stream.push_back(kMarker);
    std::uint8_t varint[bitmapcodec::kMaxVarintSize];
    const auto length = static_cast<std::uint32_t>(total - prefix.size());
    stream.insert(stream.end(), varint, varint + bitmapcodec::writeVarint(length, varint));
    stream.insert(stream.end(), varint, varint + bitmapcodec::writeVarint(1, varint));
    Bytes container = {'c', 'B', 'M', 'P'};
    for (const std::uint32_t value : {total, static_cast<std::uint32_t>(stream.size())}) {
        for (int k = 0; k < 4; ++k) {
            container.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
        }
    }
    container.insert(container.end(), stream.begin(), stream.end());
    return container;
}

std::vector<prc::ResourceEntry> repeated(const Bytes& data, std::size_t count,
                                         std::uint16_t step = 1) {
    std::vector<prc::ResourceEntry> entries;
    for (std::size_t k = 0; k < count; ++k) {
        entries.push_back({kBitmapType, static_cast<std::uint16_t>(31000 + k * step), data, 0});
    }
    return entries;
}

// AddressSanitizer reserves terabytes of address space for its shadow: a
// sanitized build runs without the limit (the budget holds all the same).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSpaceCanBeLimited = false;
#else
constexpr bool kAddressSpaceCanBeLimited = true;
#endif

// Skins made to take gigabytes and minutes: each must end in a second or two,
// within 1 GB of address space, with its finding and status 1. Where even
// that is too much, memory running out ends the run the same way.
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
    struct Case {
        const char* name;
        std::vector<prc::ResourceEntry> entries;
        std::string command;
        std::string finding;  // on standard output for check, standard error otherwise
        std::string addressSpace = "1073741824";
    };
    const std::vector<Case> cases = {
        {"109 bytes declaring 4 GB", repeated(repeatingContainer({0}, 0xFFFFFFFF), 1), "check",
         "declares 4294967295 bytes, more than a bitmap may hold"},
        {"containers of 143 MB each", repeated(repeatingContainer({0}, 143u << 20), 15), "unpack",
         "more than a bitmap may hold"},
        {"containers within the limit but past the budget",
         repeated(repeatingContainer({0}, 64u << 20), 15), "unpack", "pass the budget of 256 MB"},
        {"forty 4096x4096 bitmaps in 1.9 KB",
         repeated(repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 40), "check",
         "pixels pass the budget"},
        {"the same, exported", repeated(repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 40),
         "export", "pixels pass the budget"},
        {"family members four bytes apart", repeated(oneMegabyteOfFamily, 1), "check",
         "next bitmap at 4 begins inside the one before"},
        {"a 4096x4096 bitmap in 48 MB of address space",
         repeated(repeatingContainer(largeBitmapHeader, 16 + 512 * 4096), 1), "list",
         "skin.prc: out of memory", "50331648"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool small = c.addressSpace != cases.front().addressSpace;
        if (small && !kAddressSpaceCanBeLimited) {
            continue;
        }
        TempFolder folder;
        testsupport::writeFile(folder / "skin.prc", databaseOf(c.entries));
        std::vector<std::string> command = {LUMEN_PATH, c.command, folder / "skin.prc"};
        if (c.command != "check" && c.command != "list") {
            command.push_back(folder / "out");
        }
        if (kAddressSpaceCanBeLimited) {
            command.insert(command.begin(), {"/usr/bin/prlimit", "--as=" + c.addressSpace});
        }
        const RunResult run = testsupport::runProgram(command);
        EXPECT_EQ(run.exitStatus, 1) << run.err;
        EXPECT_EQ(run.endingSignal, 0);
        EXPECT_NE((c.command == "check" ? run.out : run.err).find(c.finding), std::string::npos)
            << run.out << run.err;
        if (c.command == "unpack") {
            EXPECT_FALSE(fs::exists(folder / "out"));
        }
        if (c.command == "export") {
            // What fitted the budget, and the contact sheet that lists the rest.
            EXPECT_EQ(
                testsupport::folderContents(folder / "out"),
                (std::vector<std::string>{"31000.png", "31001.png", "31002.png", "index.html"}));
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
    EXPECT_EQ(testsupport::folderContents(exported).size(), 11u);  // 10 images and index.html
}

// Unpack writes through the same writer as Tessel: what the user may not
// write is refused, and as root only another user shows it.
TEST(Lumen, UnpackRefusesAWriteProtectedOutputForAUserWhoIsNotRoot) {
    TempFolder folder;
    ASSERT_EQ(testsupport::runProgram({TESSEL_PATH, SAMPLE_SKIN_PATH, folder / "t.prc"}).exitStatus,
              0);
    testsupport::writeFile(folder / "out.prc", Bytes(123, 0x42));
    testsupport::giveToUnprivilegedUser(folder.path);
    fs::permissions(folder / "out.prc", fs::perms::owner_write, fs::perm_options::remove);
    const RunResult run = testsupport::runProgram(testsupport::asUnprivilegedUser(
        {LUMEN_PATH, "unpack", folder / "t.prc", folder / "out.prc"}));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("out.prc: cannot write the file"), std::string::npos) << run.err;
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
    std::vector<std::string> expected = {"31000.png", "index.html"};
    for (std::size_t k = 2; k <= kCount; ++k) {
        expected.push_back("31000-" + std::to_string(k) + ".png");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(testsupport::folderContents(folder / "disk" / "out"), expected);
}

}  // namespace
