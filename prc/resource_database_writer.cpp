#include <algorithm>
#include <cstdio>

#include "byte_order.h"
#include "file_access.h"
#include "resource_database.h"

namespace prc {
namespace {

constexpr std::uint32_t kFixedDate = 0xF0000000;

void writeHeader(const ResourceTable& table, std::uint8_t* header) {
    std::fill_n(header, kHeaderSize, std::uint8_t{0});
    std::copy(table.name.begin(), table.name.end(), header);
    storeBigEndian16(0x0001, header + 32);  // attributes: a resource database
    header[34] = 0x01;                      // version, as the handheld expects it
    header[35] = 0x00;
    storeBigEndian32(kFixedDate, header + 36);  // creation
    storeBigEndian32(kFixedDate, header + 40);  // modification
    storeBigEndian32(kFixedDate, header + 44);  // last backup
    storeBigEndian32(2, header + 48);           // modification number
    const TypeCode type = typeCode("skin");
    const TypeCode creator = typeCode("skUI");
    std::copy(type.begin(), type.end(), header + 60);
    std::copy(creator.begin(), creator.end(), header + 64);
    storeBigEndian16(static_cast<std::uint16_t>(table.entries.size()), header + 76);
}

}  // namespace

std::vector<std::uint8_t> serializeResourceDatabase(const ResourceTable& table) {
    std::size_t length = kHeaderSize + kDirectoryEntrySize * table.entries.size();
    for (const ResourceEntry& entry : table.entries) {
        length += entry.data.size();
    }
    std::vector<std::uint8_t> file(length);
    writeHeader(table, file.data());

    std::size_t dataOffset = kHeaderSize + kDirectoryEntrySize * table.entries.size();
    std::uint8_t* directory = file.data() + kHeaderSize;
    for (const ResourceEntry& entry : table.entries) {
        std::copy(entry.type.begin(), entry.type.end(), directory);
        storeBigEndian16(entry.id, directory + 4);
        storeBigEndian32(static_cast<std::uint32_t>(dataOffset), directory + 6);
        std::copy(entry.data.begin(), entry.data.end(),
                  file.begin() + static_cast<std::ptrdiff_t>(dataOffset));
        directory += kDirectoryEntrySize;
        dataOffset += entry.data.size();
    }
    return file;
}

bool writeResourceDatabase(const std::string& path, const ResourceTable& table) {
    const char* error = nullptr;
    if (table.entries.size() > kMaxResourceCount) {
        error = "too many resources for one database";
    } else {
        std::vector<std::uint8_t> file = serializeResourceDatabase(table);
        if (file.size() > UINT32_MAX) {
            error = "database too large for 32-bit offsets";
        } else {
            switch (replaceFile(path, file)) {
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
