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
    header.attributes = byteorder::loadBigEndian16(raw + kAttributes);
    header.version = byteorder::loadBigEndian16(raw + kVersion);
    header.creationDate = byteorder::loadBigEndian32(raw + kCreationDate);
    header.modificationDate = byteorder::loadBigEndian32(raw + kModificationDate);
    header.lastBackupDate = byteorder::loadBigEndian32(raw + kLastBackupDate);
    header.modificationNumber = byteorder::loadBigEndian32(raw + kModificationNumber);
    header.appInfoID = byteorder::loadBigEndian32(raw + kAppInfoID);
    header.sortInfoID = byteorder::loadBigEndian32(raw + kSortInfoID);
    std::copy_n(raw + kType, 4, header.type.begin());
    std::copy_n(raw + kCreator, 4, header.creator.begin());
    header.uniqueIDSeed = byteorder::loadBigEndian32(raw + kUniqueIDSeed);
    header.nextRecordListID = byteorder::loadBigEndian32(raw + kNextRecordListID);
    header.numRecords = byteorder::loadBigEndian16(raw + kNumRecords);
    return header;
}

void storeDatabaseHeader(const DatabaseHeader& header, std::span<std::uint8_t> bytes) {
    assert(bytes.size() >= kHeaderSize);
    std::uint8_t* raw = bytes.data();
    std::copy(header.name.begin(), header.name.end(), raw);
    byteorder::storeBigEndian16(header.attributes, raw + kAttributes);
    byteorder::storeBigEndian16(header.version, raw + kVersion);
    byteorder::storeBigEndian32(header.creationDate, raw + kCreationDate);
    byteorder::storeBigEndian32(header.modificationDate, raw + kModificationDate);
    byteorder::storeBigEndian32(header.lastBackupDate, raw + kLastBackupDate);
    byteorder::storeBigEndian32(header.modificationNumber, raw + kModificationNumber);
    byteorder::storeBigEndian32(header.appInfoID, raw + kAppInfoID);
    byteorder::storeBigEndian32(header.sortInfoID, raw + kSortInfoID);
    std::copy(header.type.begin(), header.type.end(), raw + kType);
    std::copy(header.creator.begin(), header.creator.end(), raw + kCreator);
    byteorder::storeBigEndian32(header.uniqueIDSeed, raw + kUniqueIDSeed);
    byteorder::storeBigEndian32(header.nextRecordListID, raw + kNextRecordListID);
    byteorder::storeBigEndian16(header.numRecords, raw + kNumRecords);
}

}  // namespace prc
