#include "resource_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "byte_order.h"
#include "skin_builder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using skinbuilder::DatabaseLayout;

void patch32(Bytes& file, std::size_t at, std::uint32_t value) {
    byteorder::storeBigEndian32(value, &file[at]);
}

struct ExpectedResource {
    std::string type;
    std::uint16_t id;
    Bytes data;
};

void expectResources(const prc::ResourceTable& table, const std::vector<ExpectedResource>& want) {
    ASSERT_EQ(table.entries.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::string(table.entries[i].type.begin(), table.entries[i].type.end()),
                  want[i].type);
        EXPECT_EQ(table.entries[i].id, want[i].id);
        EXPECT_EQ(table.entries[i].data, want[i].data);
    }
}

DatabaseLayout threeResources() {
    DatabaseLayout layout;
    layout.name = skinbuilder::databaseName("Three");
    layout.resources = {
        {"abmp", 1, Bytes(5, 0xA1)}, {"tSTR", 2, Bytes(3, 0xB2)}, {"PlRC", 0, Bytes(4, 0xC3)}};
    return layout;
}

// Three resources after a gap of `gap` bytes 0x01, 0x02, ..., whose bytes
// from `app` and from `sort` on (when not 0) the header's IDs point to.
Bytes withBlocks(std::size_t gap, std::size_t app, std::size_t sort) {
    DatabaseLayout layout = threeResources();
    layout.gapBytes = gap;
    Bytes file = skinbuilder::buildDatabase(layout);
    const std::size_t directoryEnd = skinbuilder::directoryEntryAt(3);
    for (std::size_t k = 0; k < gap; ++k) {
        file[directoryEnd + k] = static_cast<std::uint8_t>(k + 1);
    }
    patch32(file, 52, static_cast<std::uint32_t>(app == 0 ? 0 : directoryEnd + app));
    patch32(file, 56, static_cast<std::uint32_t>(sort == 0 ? 0 : directoryEnd + sort));
    return file;
}

prc::FileLayout layoutWith(Bytes gap, std::optional<Bytes> app, std::optional<Bytes> sort,
                           std::vector<std::size_t> order = {}) {
    return {std::move(gap), std::move(app), std::move(sort), std::move(order)};
}

// Each table read gives back its file byte for byte when written in the
// layout read with it, unless its data begin inside the directory.
TEST(ParseResourceDatabase, DerivesSizesFromOffsets) {
    struct Case {
        const char* name;
        std::function<Bytes()> file;
        std::vector<ExpectedResource> resources;
        prc::FileLayout layout = prc::palmLayout();
        bool exact = true;
    };
    const std::vector<ExpectedResource> three = {
        {"abmp", 1, Bytes(5, 0xA1)}, {"tSTR", 2, Bytes(3, 0xB2)}, {"PlRC", 0, Bytes(4, 0xC3)}};
    const std::vector<Case> cases = {
        {"no resources",
         [] {
             DatabaseLayout empty;
             empty.gapBytes = 0;
             return skinbuilder::buildDatabase(empty);
         },
         {},
         {}},
        {"gap bytes belong to no entry",
         [] { return skinbuilder::buildDatabase(threeResources()); },
         {{"abmp", 1, Bytes(5, 0xA1)}, {"tSTR", 2, Bytes(3, 0xB2)}, {"PlRC", 0, Bytes(4, 0xC3)}}},
        {"the last entry takes trailing bytes",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             file.insert(file.end(), {0xDD, 0xDD});
             return file;
         },
         {{"abmp", 1, Bytes(5, 0xA1)},
          {"tSTR", 2, Bytes(3, 0xB2)},
          {"PlRC", 0, {0xC3, 0xC3, 0xC3, 0xC3, 0xDD, 0xDD}}}},
        {"data in another order than the directory",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             // Swap the first two directory entries: their data stay where they are.
             std::swap_ranges(file.begin() + skinbuilder::directoryEntryAt(0),
                              file.begin() + skinbuilder::directoryEntryAt(1),
                              file.begin() + skinbuilder::directoryEntryAt(1));
             return file;
         },
         {{"tSTR", 2, Bytes(3, 0xB2)}, {"abmp", 1, Bytes(5, 0xA1)}, {"PlRC", 0, Bytes(4, 0xC3)}},
         layoutWith({0, 0}, {}, {}, {1, 0, 2})},
        {"a gap of other bytes", [] { return withBlocks(5, 0, 0); }, three,
         layoutWith({1, 2, 3, 4, 5}, {}, {})},
        {"appInfo and sortInfo blocks after the gap", [] { return withBlocks(9, 2, 6); }, three,
         layoutWith({1, 2}, Bytes{3, 4, 5, 6}, Bytes{7, 8, 9})},
        {"a sortInfo block alone", [] { return withBlocks(3, 0, 1); }, three,
         layoutWith({1}, {}, Bytes{2, 3})},
        {"an empty appInfo block where the data begin", [] { return withBlocks(2, 2, 0); }, three,
         layoutWith({1, 2}, Bytes{}, {})},
        {"IDs pointing into the header and the data stay numbers",
         [] {
             Bytes file = withBlocks(4, 0, 0);
             patch32(file, 52, 10);
             patch32(file, 56, static_cast<std::uint32_t>(skinbuilder::directoryEntryAt(3) + 6));
             return file;
         },
         three, layoutWith({1, 2, 3, 4}, {}, {})},
        {"data in another order after blocks",
         [] {
             Bytes file = withBlocks(4, 1, 3);
             std::swap_ranges(file.begin() + skinbuilder::directoryEntryAt(1),
                              file.begin() + skinbuilder::directoryEntryAt(2),
                              file.begin() + skinbuilder::directoryEntryAt(2));
             return file;
         },
         {{"abmp", 1, Bytes(5, 0xA1)}, {"PlRC", 0, Bytes(4, 0xC3)}, {"tSTR", 2, Bytes(3, 0xB2)}},
         layoutWith({1}, Bytes{2, 3}, Bytes{4}, {0, 2, 1})},
        {"data that begin inside the directory",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             patch32(file, skinbuilder::offsetFieldAt(0),
                     static_cast<std::uint32_t>(skinbuilder::directoryEntryAt(2)));
             return file;
         },
         {{"abmp", 1,
           [] {
               Bytes data = skinbuilder::buildDatabase(threeResources());
               return Bytes(data.begin() + skinbuilder::directoryEntryAt(2),
                            data.begin() + skinbuilder::directoryEntryAt(3) + 2 + 5);
           }()},
          {"tSTR", 2, Bytes(3, 0xB2)},
          {"PlRC", 0, Bytes(4, 0xC3)}},
         prc::palmLayout(),
         false},
        {"shared offsets: the last in directory order owns the bytes",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             patch32(file, skinbuilder::offsetFieldAt(0),
                     byteorder::loadBigEndian32(&file[skinbuilder::offsetFieldAt(1)]));
             return file;
         },
         {{"abmp", 1, {}}, {"tSTR", 2, Bytes(3, 0xB2)}, {"PlRC", 0, Bytes(4, 0xC3)}},
         // The first data, now no resource's, lie between the directory and the rest.
         layoutWith({0, 0, 0xA1, 0xA1, 0xA1, 0xA1, 0xA1}, {}, {})},
        {"offsets at the end of the file are empty",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             patch32(file, skinbuilder::offsetFieldAt(1), static_cast<std::uint32_t>(file.size()));
             patch32(file, skinbuilder::offsetFieldAt(2), static_cast<std::uint32_t>(file.size()));
             return file;
         },
         {{"abmp", 1,
           Bytes{0xA1, 0xA1, 0xA1, 0xA1, 0xA1, 0xB2, 0xB2, 0xB2, 0xC3, 0xC3, 0xC3, 0xC3}},
          {"tSTR", 2, {}},
          {"PlRC", 0, {}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes file = c.file();
        const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
        ASSERT_EQ(parse.error, nullptr) << parse.error;
        ASSERT_TRUE(parse.table);
        EXPECT_EQ(parse.announcedCount, c.resources.size());
        expectResources(*parse.table, c.resources);
        EXPECT_EQ(parse.table->layout, c.layout);
        const Bytes written =
            prc::serializeDatabase(parse.table->header, parse.table->entries, parse.table->layout);
        if (c.exact) {
            EXPECT_EQ(written, file);
        } else {
            const prc::DatabaseParse again = prc::parseResourceDatabase(written);
            ASSERT_TRUE(again.table);
            expectResources(*again.table, c.resources);
        }
    }
}

// Every field at its own place, each value distinct, so that two fields
// swapped or one misplaced cannot go unseen; written under its own header the
// table gives back the same 78 bytes.
TEST(DatabaseHeader, EveryFieldReadAndWrittenInItsPlace) {
    DatabaseLayout layout = threeResources();
    for (std::size_t i = 0; i < layout.name.size(); ++i) {
        layout.name[i] = static_cast<std::uint8_t>('A' + i % 26);
    }
    layout.attributes = 0x8041;
    layout.version = 0x0302;
    layout.creationDate = 0xC1020304;
    layout.modificationDate = 0xC5060708;
    layout.lastBackupDate = 0xB90A0B0C;
    layout.modificationNumber = 0x0D0E0F10;
    layout.appInfoID = 0x11121314;
    layout.sortInfoID = 0x15161718;
    layout.type = "Tp1e";
    layout.creator = "Cr8r";
    layout.uniqueIDSeed = 0x191A1B1C;
    layout.gapBytes = 0;
    const Bytes file = skinbuilder::buildDatabase(layout);
    const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
    ASSERT_TRUE(parse.table);
    const prc::DatabaseHeader& header = parse.table->header;
    EXPECT_EQ(header.name, layout.name);
    EXPECT_EQ(header.attributes, 0x8041);
    EXPECT_EQ(header.version, 0x0302);
    EXPECT_EQ(header.creationDate, 0xC1020304u);
    EXPECT_EQ(header.modificationDate, 0xC5060708u);
    EXPECT_EQ(header.lastBackupDate, 0xB90A0B0Cu);
    EXPECT_EQ(header.modificationNumber, 0x0D0E0F10u);
    EXPECT_EQ(header.appInfoID, 0x11121314u);
    EXPECT_EQ(header.sortInfoID, 0x15161718u);
    EXPECT_EQ(header.type, prc::typeCode("Tp1e"));
    EXPECT_EQ(header.creator, prc::typeCode("Cr8r"));
    EXPECT_EQ(header.uniqueIDSeed, 0x191A1B1Cu);
    EXPECT_EQ(header.nextRecordListID, 0u);
    EXPECT_EQ(header.numRecords, 3);
    EXPECT_EQ(prc::serializeDatabase(header, parse.table->entries), file);
}

TEST(ParseResourceDatabase, RefusesDamagedFiles) {
    struct Case {
        const char* name;
        std::function<Bytes()> file;
        bool countAnnounced;
    };
    const auto withNextList = [](std::size_t byte) {
        return [byte] {
            Bytes file = skinbuilder::buildDatabase(threeResources());
            file[72 + byte] = 0x01;
            return file;
        };
    };
    const std::vector<Case> cases = {
        {"empty file", [] { return Bytes{}; }, false},
        {"shorter than the header",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             file.resize(77);
             return file;
         },
         false},
        {"second record list, byte 72", withNextList(0), false},
        {"second record list, byte 75", withNextList(3), false},
        {"directory runs past the end",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             file.resize(skinbuilder::directoryEntryAt(3) - 1);
             return file;
         },
         true},
        {"offset past the end",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             patch32(file, skinbuilder::offsetFieldAt(1),
                     static_cast<std::uint32_t>(file.size() + 1));
             return file;
         },
         true},
        {"offset near 2^32",
         [] {
             Bytes file = skinbuilder::buildDatabase(threeResources());
             patch32(file, skinbuilder::offsetFieldAt(2), 0xFFFFFFFF);
             return file;
         },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const prc::DatabaseParse parse = prc::parseResourceDatabase(c.file());
        EXPECT_NE(parse.error, nullptr);
        EXPECT_FALSE(parse.table);
        EXPECT_EQ(parse.announcedCount.has_value(), c.countAnnounced);
    }
}

TEST(ParseResourceDatabase, NamesTheSecondRecordListInItsMessage) {
    Bytes file = skinbuilder::buildDatabase(threeResources());
    file[74] = 0x80;
    EXPECT_STREQ(prc::parseResourceDatabase(file).error,
                 "more then one record list in a PRC file is unsupported");
}

TEST(SerializeResourceDatabase, WritesTheFixedHeader) {
    DatabaseLayout layout = threeResources();
    layout.attributes = 0xFFFF;
    layout.version = 7;
    layout.type = "aext";
    layout.creator = "WiSl";
    const prc::DatabaseParse parse = prc::parseResourceDatabase(skinbuilder::buildDatabase(layout));
    ASSERT_TRUE(parse.table);
    const Bytes file = prc::serializeResourceDatabase(*parse.table);

    Bytes header(layout.name.begin(), layout.name.end());
    const Bytes fixed = {0x00, 0x01, 0x01, 0x00, 0xF0, 0, 0, 0, 0xF0, 0, 0, 0, 0xF0, 0,   0,   0,
                         0,    0,    0,    2,    0,    0, 0, 0, 0,    0, 0, 0, 's',  'k', 'i', 'n',
                         's',  'k',  'U',  'I',  0,    0, 0, 0, 0,    0, 0, 0, 0,    3};
    header.insert(header.end(), fixed.begin(), fixed.end());
    ASSERT_EQ(header.size(), 78u);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 78), header);
    EXPECT_EQ(file.size(), 78u + 30 + 5 + 3 + 4);
    // The data follow the directory without the input's gap.
    EXPECT_EQ(byteorder::loadBigEndian32(&file[skinbuilder::offsetFieldAt(0)]), 108u);
    EXPECT_EQ(byteorder::loadBigEndian32(&file[skinbuilder::offsetFieldAt(2)]), 116u);
}

TEST(SerializeResourceDatabase, AnEmptyTableIsJustAHeader) {
    prc::ResourceTable table;
    table.header.name = skinbuilder::databaseName("Empty");
    const Bytes file = prc::serializeResourceDatabase(table);
    ASSERT_EQ(file.size(), 78u);
    EXPECT_EQ(byteorder::loadBigEndian16(&file[76]), 0u);
}

// Whatever the table (empty resources included, anywhere), the written file
// reads back to the same resources: the writer's layout and the reader's size
// rule agree. So does a file written in a layout of any gap, blocks and data
// order that keeps no empty resource out of place, and it is written again
// byte for byte in the layout read with it.
TEST(SerializeResourceDatabase, ReadsBackToTheSameTable) {
    std::mt19937 random(42);
    int outOfPlace = 0;
    for (int trial = 0; trial < 200; ++trial) {
        prc::ResourceTable table;
        table.header.name = skinbuilder::databaseName("Trial " + std::to_string(trial));
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            prc::ResourceEntry entry;
            entry.type = prc::typeCode(random() % 2 ? "abmp" : "tSTR");
            entry.id = static_cast<std::uint16_t>(random());
            const std::size_t size = random() % 3 == 0 ? 0 : random() % 40;
            for (std::size_t k = 0; k < size; ++k) {
                entry.data.push_back(static_cast<std::uint8_t>(random()));
            }
            table.entries.push_back(entry);
        }
        const Bytes file = prc::serializeResourceDatabase(table);
        const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
        ASSERT_TRUE(parse.table) << trial;
        EXPECT_EQ(parse.table->header.name, table.header.name);
        ASSERT_EQ(parse.table->entries.size(), table.entries.size());
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            EXPECT_EQ(parse.table->entries[i].type, table.entries[i].type);
            EXPECT_EQ(parse.table->entries[i].id, table.entries[i].id);
            EXPECT_EQ(parse.table->entries[i].data, table.entries[i].data) << trial << "/" << i;
        }
        EXPECT_EQ(prc::serializeResourceDatabase(*parse.table), file);

        const auto someBytes = [&random] {
            Bytes bytes(random() % 4);
            for (std::uint8_t& b : bytes) {
                b = static_cast<std::uint8_t>(random());
            }
            return bytes;
        };
        prc::FileLayout layout{someBytes(), {}, {}, {}};
        if (random() % 2 == 0) {
            layout.appInfo = someBytes();
        }
        if (random() % 2 == 0) {
            layout.sortInfo = someBytes();
        }
        layout.dataOrder.resize(table.entries.size());
        std::iota(layout.dataOrder.begin(), layout.dataOrder.end(), std::size_t{0});
        std::shuffle(layout.dataOrder.begin(), layout.dataOrder.end(), random);
        if (prc::emptyResourceOutOfPlace(table.entries, layout)) {
            ++outOfPlace;
            continue;
        }
        const Bytes laidOut = prc::serializeDatabase(table.header, table.entries, layout);
        EXPECT_EQ(laidOut.size(), prc::databaseFileSize(table.entries, layout));
        const prc::DatabaseParse laidOutParse = prc::parseResourceDatabase(laidOut);
        ASSERT_TRUE(laidOutParse.table) << trial;
        const prc::ResourceTable& read = *laidOutParse.table;
        ASSERT_EQ(read.entries.size(), table.entries.size());
        for (std::size_t i = 0; i < table.entries.size(); ++i) {
            EXPECT_EQ(read.entries[i].data, table.entries[i].data) << trial << "/" << i;
        }
        EXPECT_EQ(read.layout.gap, layout.gap) << trial;
        EXPECT_EQ(read.layout.appInfo, layout.appInfo) << trial;
        EXPECT_EQ(read.layout.sortInfo, layout.sortInfo) << trial;
        EXPECT_EQ(prc::serializeDatabase(read.header, read.entries, read.layout), laidOut) << trial;
    }
    // Both kinds of order were tried.
    EXPECT_GT(outOfPlace, 10);
    EXPECT_LT(outOfPlace, 150);
}

}  // namespace
