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

namespace prc {

using TypeCode = std::array<std::uint8_t, 4>;
using DatabaseName = std::array<std::uint8_t, 32>;

inline constexpr std::size_t kHeaderSize = 78;
inline constexpr std::size_t kDirectoryEntrySize = 10;
inline constexpr std::size_t kMaxResourceCount = 65535;

constexpr TypeCode typeCode(const char (&text)[5]) {
    return {static_cast<std::uint8_t>(text[0]), static_cast<std::uint8_t>(text[1]),
            static_cast<std::uint8_t>(text[2]), static_cast<std::uint8_t>(text[3])};
}

struct ResourceEntry {
    TypeCode type{};
    std::uint16_t id = 0;
    std::vector<std::uint8_t> data;  // the resource's size is data.size()
    std::uint32_t offset = 0;        // where the data began in the file that was read
};

struct ResourceTable {
    std::vector<ResourceEntry> entries;  // directory order
    DatabaseName name{};                 // need not hold a NUL
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

// The file image that writeResourceDatabase stores: a fixed header of its own
// (only the name is carried over), the directory, then the data in table
// order without gaps. The table must hold at most kMaxResourceCount entries.
std::vector<std::uint8_t> serializeResourceDatabase(const ResourceTable& table);

// Reads a whole database and prints its count line, or an "ERR: ...!" line
// and no table, on standard output.
std::optional<ResourceTable> readResourceDatabase(const std::string& path);

// Writes the table as a new database at the path; an existing file is replaced
// only once the new one is complete. Prints an "ERR: ...!" line and returns
// false when that cannot be done.
bool writeResourceDatabase(const std::string& path, const ResourceTable& table);

}  // namespace prc
