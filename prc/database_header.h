// The 78-byte header at the start of every resource database, read and
// written by the one pair of functions that follow its layout
// (database_layout.h). Numbers are big-endian in the file and host-order
// here; the name and the codes stay the file's bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "database_layout.h"

namespace prc {

using TypeCode = std::array<std::uint8_t, kTypeCodeSize>;
using DatabaseName = std::array<std::uint8_t, kNameSize>;

constexpr TypeCode typeCode(const char (&text)[5]) {
    return {static_cast<std::uint8_t>(text[0]), static_cast<std::uint8_t>(text[1]),
            static_cast<std::uint8_t>(text[2]), static_cast<std::uint8_t>(text[3])};
}

struct DatabaseHeader {
    DatabaseName name{};  // need not hold a NUL
    std::uint16_t attributes = 0;
    std::uint16_t version = 0;
    std::uint32_t creationDate = 0;
    std::uint32_t modificationDate = 0;
    std::uint32_t lastBackupDate = 0;
    std::uint32_t modificationNumber = 0;
    std::uint32_t appInfoID = 0;
    std::uint32_t sortInfoID = 0;
    TypeCode type{};
    TypeCode creator{};
    std::uint32_t uniqueIDSeed = 0;
    std::uint32_t nextRecordListID = 0;
    std::uint16_t numRecords = 0;
    friend bool operator==(const DatabaseHeader&, const DatabaseHeader&) = default;
};

// Both take at least kHeaderSize bytes.
DatabaseHeader parseDatabaseHeader(std::span<const std::uint8_t> bytes);
void storeDatabaseHeader(const DatabaseHeader& header, std::span<std::uint8_t> bytes);

}  // namespace prc
