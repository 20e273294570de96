// Any bytes as a database file: either a table or an error, never both; a
// table never holds more bytes than the file, each resource's bytes are the
// file's own at its offset, and writing the table reads back to the same table;
// in the layout read with it, it is the file again.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "require.h"
#include "resource_database.h"

namespace {

bool sameResources(const prc::ResourceTable& a, const prc::ResourceTable& b) {
    return a.header.name == b.header.name &&
           std::equal(a.entries.begin(), a.entries.end(), b.entries.begin(), b.entries.end(),
                      [](const prc::ResourceEntry& x, const prc::ResourceEntry& y) {
                          return x.type == y.type && x.id == y.id && x.data == y.data;
                      });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);
    const prc::DatabaseParse parse = prc::parseResourceDatabase(file);
    FUZZ_REQUIRE((parse.error == nullptr) == parse.table.has_value());
    if (!parse.table) {
        return 0;
    }
    const prc::ResourceTable& table = *parse.table;
    FUZZ_REQUIRE(parse.announcedCount && *parse.announcedCount == table.entries.size());

    std::size_t total = 0;
    for (const prc::ResourceEntry& entry : table.entries) {
        FUZZ_REQUIRE(entry.offset <= size && entry.data.size() <= size - entry.offset);
        FUZZ_REQUIRE(std::equal(entry.data.begin(), entry.data.end(), file.begin() + entry.offset));
        total += entry.data.size();
    }
    FUZZ_REQUIRE(total <= size);

    const prc::DatabaseParse again =
        prc::parseResourceDatabase(prc::serializeResourceDatabase(table));
    FUZZ_REQUIRE(again.table && sameResources(*again.table, table));

    // Under its own header the table reads back whole, every header field too.
    const prc::DatabaseParse kept =
        prc::parseResourceDatabase(prc::serializeDatabase(table.header, table.entries));
    FUZZ_REQUIRE(kept.table && sameResources(*kept.table, table) &&
                 kept.table->header == table.header);

    // In the layout read with it, the table is the file again byte for byte,
    // unless its data begin inside the directory.
    const std::vector<std::uint8_t> laidOut =
        prc::serializeDatabase(table.header, table.entries, table.layout);
    const bool dataAfterDirectory = std::all_of(
        table.entries.begin(), table.entries.end(), [&table](const prc::ResourceEntry& entry) {
            return entry.offset >= prc::directoryEntryOffset(table.entries.size());
        });
    FUZZ_REQUIRE(!dataAfterDirectory ||
                 std::equal(laidOut.begin(), laidOut.end(), file.begin(), file.end()));
    const prc::DatabaseParse back = prc::parseResourceDatabase(laidOut);
    FUZZ_REQUIRE(back.table && sameResources(*back.table, table));
    return 0;
}
