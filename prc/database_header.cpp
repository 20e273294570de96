#include "database_header.h"

#include <algorithm>
#include <cassert>

#include "byte_order.h"

namespace prc {
namespace {

// Field offsets within the header.
constexpr std::size_t kAttributes = 32;
constexpr std::size_t kVersion = 34;
constexpr std::size_t kCreationDate = 36;
constexpr std::size_t kModificationDate = 40;
constexpr std::size_t kLastBackupDate = 44;
constexpr std::size_t kModificationNumber = 48;
constexpr std::size_t kAppInfoID = 52;
constexpr std::size_t kSortInfoID = 56;
constexpr std::size_t kType = 60;
constexpr std::size_t kCreator = 64;
constexpr std::size_t kUniqueIDSeed = 68;
constexpr std::size_t kNextRecordListID = 72;
constexpr std::size_t kNumRecords = 76;

}  // namespace

DatabaseHeader parseDatabaseHeader(std::span<const std::uint8_t> bytes) {
    assert(bytes.size() >= kHeaderSize);
    const std::uint8_t* raw = bytes.data();
    DatabaseHeader header;
    std::copy_n(raw, header.name.size(), header.name.begin());
    header.attributes = loadBigEndian16(raw + kAttributes);
    header.version = loadBigEndian16(raw + kVersion);
    header.creationDate = loadBigEndian32(raw + kCreationDate);
    header.modificationDate = loadBigEndian32(raw + kModificationDate);
    header.lastBackupDate = loadBigEndian32(raw + kLastBackupDate);
    header.modificationNumber = loadBigEndian32(raw + kModificationNumber);
    header.appInfoID = loadBigEndian32(raw + kAppInfoID);
    header.sortInfoID = loadBigEndian32(raw + kSortInfoID);
    std::copy_n(raw + kType, 4, header.type.begin());
    std::copy_n(raw + kCreator, 4, header.creator.begin());
    header.uniqueIDSeed = loadBigEndian32(raw + kUniqueIDSeed);
    header.nextRecordListID = loadBigEndian32(raw + kNextRecordListID);
    header.numRecords = loadBigEndian16(raw + kNumRecords);
    return header;
}

void storeDatabaseHeader(const DatabaseHeader& header, std::span<std::uint8_t> bytes) {
    assert(bytes.size() >= kHeaderSize);
    std::uint8_t* raw = bytes.data();
    std::copy(header.name.begin(), header.name.end(), raw);
    storeBigEndian16(header.attributes, raw + kAttributes);
    storeBigEndian16(header.version, raw + kVersion);
    storeBigEndian32(header.creationDate, raw + kCreationDate);
    storeBigEndian32(header.modificationDate, raw + kModificationDate);
    storeBigEndian32(header.lastBackupDate, raw + kLastBackupDate);
    storeBigEndian32(header.modificationNumber, raw + kModificationNumber);
    storeBigEndian32(header.appInfoID, raw + kAppInfoID);
    storeBigEndian32(header.sortInfoID, raw + kSortInfoID);
    std::copy(header.type.begin(), header.type.end(), raw + kType);
    std::copy(header.creator.begin(), header.creator.end(), raw + kCreator);
    storeBigEndian32(header.uniqueIDSeed, raw + kUniqueIDSeed);
    storeBigEndian32(header.nextRecordListID, raw + kNextRecordListID);
    storeBigEndian16(header.numRecords, raw + kNumRecords);
}

}  // namespace prc
