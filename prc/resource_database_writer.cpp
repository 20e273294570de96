#include <algorithm>
#include <cstdio>

#include "byte_order.h"
#include "file_access.h"
#include "resource_database.h"

namespace prc {
namespace {

constexpr std::uint32_t kFixedDate = 0xF0000000;

}  // namespace

DatabaseHeader compressedSkinHeader(const DatabaseName& name) {
    DatabaseHeader header;
    header.name = name;
    header.attributes = 0x0001;  // a resource database
    header.version = 0x0100;     // as the handheld expects it
    header.creationDate = kFixedDate;
    header.modificationDate = kFixedDate;
    header.lastBackupDate = kFixedDate;
    header.modificationNumber = 2;
    header.type = typeCode("skin");
    header.creator = typeCode("skUI");
    return header;
}

std::size_t databaseFileSize(std::span<const ResourceEntry> entries) {
    std::size_t length = directoryEntryOffset(entries.size());
    for (const ResourceEntry& entry : entries) {
        length += entry.data.size();
    }
    return length;
}

std::vector<std::uint8_t> serializeDatabase(const DatabaseHeader& header,
                                            std::span<const ResourceEntry> entries) {
    const std::size_t dataStart = directoryEntryOffset(entries.size());
    std::vector<std::uint8_t> file(databaseFileSize(entries));
    DatabaseHeader written = header;
    written.numRecords = static_cast<std::uint16_t>(entries.size());
    storeDatabaseHeader(written, file);

    std::size_t dataOffset = dataStart;
    std::uint8_t* directory = file.data() + kHeaderSize;
    for (const ResourceEntry& entry : entries) {
        std::copy(entry.type.begin(), entry.type.end(), directory + kEntryTypeOffset);
        byteorder::storeBigEndian16(entry.id, directory + kEntryIdOffset);
        byteorder::storeBigEndian32(static_cast<std::uint32_t>(dataOffset),
                                    directory + kEntryDataStartOffset);
        std::copy(entry.data.begin(), entry.data.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(dataOffset));
        directory += kDirectoryEntrySize;
        dataOffset += entry.data.size();
    }
    return file;
}

std::vector<std::uint8_t> serializeResourceDatabase(const ResourceTable& table) {
    return serializeDatabase(compressedSkinHeader(table.header.name), table.entries);
}

bool writeResourceDatabase(const std::string& path, const ResourceTable& table) {
    const char* error = nullptr;
    if (table.entries.size() > kMaxResourceCount) {
        error = "too many resources for one database";
    } else {
        if (databaseFileSize(table.entries) > UINT32_MAX) {
            error = "database too large for 32-bit offsets";
        } else {
            switch (replaceFile(path, serializeResourceDatabase(table)).status) {
                case FileWriteStatus::ok:
                    return true;
                case FileWriteStatus::cannotOpen:
                    error = "cannot open output file";
                    break;
                case FileWriteStatus::cannotWrite:
                    error = "cannot write output file";
                    break;
                case FileWriteStatus::inUse:
                    error = "output file is in use by another program";
                    break;
            }
        }
    }
    std::printf("ERR: %s!\n", error);
    return false;
}

}  // namespace prc
