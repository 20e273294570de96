// A Palm resource database (PRC) held whole in memory, and the operations that
// read one from a file and write one to a file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "database_header.h"

namespace prc {

inline constexpr std::size_t kMaxResourceCount = 65535;

struct ResourceEntry {
    TypeCode type{};
    std::uint16_t id = 0;
    std::vector<std::uint8_t> data;  // the resource's size is data.size()
    std::uint32_t offset = 0;        // where the data began in the file that was read
};

struct ResourceTable {
    DatabaseHeader header;               // as read; numRecords is the directory's count
    std::vector<ResourceEntry> entries;  // directory order
};

// What parsing a database image found. `announcedCount` is set once the header
// has been accepted (the reader prints it even when the directory then turns
// out to be damaged); `error` is set exactly when `table` is empty.
struct DatabaseParse {
    std::optional<std::uint16_t> announcedCount;
    std::optional<ResourceTable> table;
    const char* error = nullptr;
};

DatabaseParse parseResourceDatabase(std::span<const std::uint8_t> file);

// The length of the file image of these entries: header, directory and data.
std::size_t databaseFileSize(std::span<const ResourceEntry> entries);

// A database file image: the header as given (its numRecords taken from the
// entries), the directory, then the data in entry order without gaps. At most
// kMaxResourceCount entries.
std::vector<std::uint8_t> serializeDatabase(const DatabaseHeader& header,
                                            std::span<const ResourceEntry> entries);

// The header of every database that writeResourceDatabase stores: type 'skin',
// creator 'skUI' and fixed dates; only the name comes from the database read.
DatabaseHeader compressedSkinHeader(const DatabaseName& name);

// The file image that writeResourceDatabase stores: the table's entries under
// compressedSkinHeader(table.header.name).
std::vector<std::uint8_t> serializeResourceDatabase(const ResourceTable& table);

// Reads a whole database and prints its count line, or an "ERR: ...!" line
// and no table, on standard output.
std::optional<ResourceTable> readResourceDatabase(const std::string& path);

// Writes the table as a new database at the path; an existing file is replaced
// only once the new one is complete. Prints an "ERR: ...!" line and returns
// false when that cannot be done.
bool writeResourceDatabase(const std::string& path, const ResourceTable& table);

}  // namespace prc
