#include <algorithm>
#include <cassert>
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

FileLayout palmLayout() {
    FileLayout layout;
    layout.gap = {0, 0};
    return layout;
}

std::size_t databaseFileSize(std::span<const ResourceEntry> entries, const FileLayout& layout) {
    std::size_t length = directoryEntryOffset(entries.size()) + layout.gap.size();
    length += layout.appInfo ? layout.appInfo->size() : 0;
    length += layout.sortInfo ? layout.sortInfo->size() : 0;
    for (const ResourceEntry& entry : entries) {
        length += entry.data.size();
    }
    return length;
}

namespace {

// The entry whose data come k-th.
std::size_t storedAt(const FileLayout& layout, std::size_t k) {
    return layout.dataOrder.empty() ? k : layout.dataOrder[k];
}

}  // namespace

std::optional<std::size_t> emptyResourceOutOfPlace(std::span<const ResourceEntry> entries,
                                                   const FileLayout& layout) {
    // Walking back from the end: the entry whose data begin where an empty
    // one stands, the next that is not empty.
    std::optional<std::size_t> owner;
    for (std::size_t k = entries.size(); k-- > 0;) {
        const std::size_t index = storedAt(layout, k);
        if (!entries[index].data.empty()) {
            owner = index;
        } else if (owner && *owner < index) {
            return index;
        }
    }
    return std::nullopt;
}

std::vector<std::uint8_t> serializeDatabase(const DatabaseHeader& header,
                                            std::span<const ResourceEntry> entries,
                                            const FileLayout& layout) {
    assert(layout.dataOrder.empty() || layout.dataOrder.size() == entries.size());
    assert(!emptyResourceOutOfPlace(entries, layout));
    std::vector<std::uint8_t> file(databaseFileSize(entries, layout));
    std::size_t at = directoryEntryOffset(entries.size());
    const auto put = [&file, &at](const std::vector<std::uint8_t>& bytes) {
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        at += bytes.size();
    };
    DatabaseHeader written = header;
    written.numRecords = static_cast<std::uint16_t>(entries.size());
    put(layout.gap);
    if (layout.appInfo) {
        written.appInfoID = static_cast<std::uint32_t>(at);
        put(*layout.appInfo);
    }
    if (layout.sortInfo) {
        written.sortInfoID = static_cast<std::uint32_t>(at);
        put(*layout.sortInfo);
    }
    storeDatabaseHeader(written, file);

    for (std::size_t k = 0; k < entries.size(); ++k) {
        const std::size_t index = storedAt(layout, k);
        const ResourceEntry& entry = entries[index];
        std::uint8_t* directory = file.data() + directoryEntryOffset(index);
        std::copy(entry.type.begin(), entry.type.end(), directory + kEntryTypeOffset);
        byteorder::storeBigEndian16(entry.id, directory + kEntryIdOffset);
        byteorder::storeBigEndian32(static_cast<std::uint32_t>(at),
                                    directory + kEntryDataStartOffset);
        put(entry.data);
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
