#include "database_header.h"

#include <algorithm>
#include <cassert>

#include "byte_order.h"

namespace prc {

DatabaseHeader parseDatabaseHeader(std::span<const std::uint8_t> bytes) {
    assert(bytes.size() >= kHeaderSize);
    const std::uint8_t* raw = bytes.data();
    DatabaseHeader header;
    std::copy_n(raw + kNameOffset, header.name.size(), header.name.begin());
    header.attributes = byteorder::loadBigEndian16(raw + kAttributesOffset);
    header.version = byteorder::loadBigEndian16(raw + kVersionOffset);
    header.creationDate = byteorder::loadBigEndian32(raw + kCreationDateOffset);
    header.modificationDate = byteorder::loadBigEndian32(raw + kModificationDateOffset);
    header.lastBackupDate = byteorder::loadBigEndian32(raw + kLastBackupDateOffset);
    header.modificationNumber = byteorder::loadBigEndian32(raw + kModificationNumberOffset);
    header.appInfoID = byteorder::loadBigEndian32(raw + kAppInfoIDOffset);
    header.sortInfoID = byteorder::loadBigEndian32(raw + kSortInfoIDOffset);
    std::copy_n(raw + kTypeOffset, kTypeCodeSize, header.type.begin());
    std::copy_n(raw + kCreatorOffset, kTypeCodeSize, header.creator.begin());
    header.uniqueIDSeed = byteorder::loadBigEndian32(raw + kUniqueIDSeedOffset);
    header.nextRecordListID = byteorder::loadBigEndian32(raw + kNextRecordListIDOffset);
    header.numRecords = byteorder::loadBigEndian16(raw + kNumRecordsOffset);
    return header;
}

void storeDatabaseHeader(const DatabaseHeader& header, std::span<std::uint8_t> bytes) {
    assert(bytes.size() >= kHeaderSize);
    std::uint8_t* raw = bytes.data();
    std::copy(header.name.begin(), header.name.end(), raw + kNameOffset);
    byteorder::storeBigEndian16(header.attributes, raw + kAttributesOffset);
    byteorder::storeBigEndian16(header.version, raw + kVersionOffset);
    byteorder::storeBigEndian32(header.creationDate, raw + kCreationDateOffset);
    byteorder::storeBigEndian32(header.modificationDate, raw + kModificationDateOffset);
    byteorder::storeBigEndian32(header.lastBackupDate, raw + kLastBackupDateOffset);
    byteorder::storeBigEndian32(header.modificationNumber, raw + kModificationNumberOffset);
    byteorder::storeBigEndian32(header.appInfoID, raw + kAppInfoIDOffset);
    byteorder::storeBigEndian32(header.sortInfoID, raw + kSortInfoIDOffset);
    std::copy(header.type.begin(), header.type.end(), raw + kTypeOffset);
    std::copy(header.creator.begin(), header.creator.end(), raw + kCreatorOffset);
    byteorder::storeBigEndian32(header.uniqueIDSeed, raw + kUniqueIDSeedOffset);
    byteorder::storeBigEndian32(header.nextRecordListID, raw + kNextRecordListIDOffset);
    byteorder::storeBigEndian16(header.numRecords, raw + kNumRecordsOffset);
}

}  // namespace prc
