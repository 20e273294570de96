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

// Where a database's bytes lie beyond what its header and directory say: what
// stands between the directory and the first resource's data, and the order
// of the data. A file read keeps its own, so that writing its table in it
// gives back the same bytes.
struct FileLayout {
    // Right after the directory, before the blocks and the data.
    std::vector<std::uint8_t> gap;
    // The blocks the header's appInfoID and sortInfoID point to, in this order
    // after the gap; writing one sets its ID. Without one, the header's ID is
    // written as it is (0: none).
    std::optional<std::vector<std::uint8_t>> appInfo;
    std::optional<std::vector<std::uint8_t>> sortInfo;
    // Directory indices in the order their data lie; empty: directory order.
    std::vector<std::size_t> dataOrder;
    friend bool operator==(const FileLayout&, const FileLayout&) = default;
};

// The layout that Palm OS, its desktop tools and Palm::PDB write, and that
// stored skins carry: two zero bytes after the directory, then the data in
// directory order. Lumen build writes it unless a manifest says otherwise.
FileLayout palmLayout();

struct ResourceTable {
    DatabaseHeader header;               // as read; numRecords is the directory's count
    std::vector<ResourceEntry> entries;  // directory order
    // As read. When the data begin inside the directory (no writer would put
    // them there), palmLayout() with the data's order.
    FileLayout layout;
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

// The length of the file image of these entries: header, directory, the
// layout's gap and blocks, and data.
std::size_t databaseFileSize(std::span<const ResourceEntry> entries, const FileLayout& layout = {});

// The empty resource that, written in this data order, would stand where the
// data of one earlier in the directory begin: read back, the reader would give
// it those data (of entries that share an offset, the last in directory order
// owns the bytes). A layout read from a file never has one.
std::optional<std::size_t> emptyResourceOutOfPlace(std::span<const ResourceEntry> entries,
                                                   const FileLayout& layout);

// A database file image: the header as given (its numRecords taken from the
// entries, its appInfoID and sortInfoID from the layout's blocks when it has
// them), the directory, the layout's gap and blocks, then the data in the
// layout's order. The default layout has no gap: the data follow the
// directory at once. At most kMaxResourceCount entries; the layout's data
// order names each entry once, and no empty resource is out of place.
std::vector<std::uint8_t> serializeDatabase(const DatabaseHeader& header,
                                            std::span<const ResourceEntry> entries,
                                            const FileLayout& layout = {});

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
