#include <algorithm>
#include <cstdio>
#include <numeric>

#include "byte_order.h"
#include "file_access.h"
#include "resource_database.h"

namespace prc {
namespace {

// Each entry owns the bytes from its offset up to the next greater offset (or
// the end of the file), whatever the directory order (`order`: by offset). Of entries that share an
// offset, the last in directory order owns the bytes and the others are empty:
// that is how the writer lays out empty resources, so a written file reads
// back to the same table.
std::vector<std::uint32_t> deriveSizes(const std::vector<ResourceEntry>& entries,
                                       const std::vector<std::size_t>& order,
                                       std::uint32_t fileLength) {
    std::vector<std::uint32_t> sizes(entries.size(), 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint32_t offset = entries[order[k]].offset;
        const bool lastOfGroup = k + 1 == order.size() || entries[order[k + 1]].offset != offset;
        if (lastOfGroup) {
            const std::uint32_t nextStart =
                k + 1 == order.size() ? fileLength : entries[order[k + 1]].offset;
            sizes[order[k]] = nextStart - offset;
        }
    }
    return sizes;
}

// Entry indices in the order of their offsets; of entries that share one, in
// directory order, so that the last of them, which owns the bytes, comes last.
std::vector<std::size_t> dataOrderOf(const std::vector<ResourceEntry>& entries) {
    std::vector<std::size_t> order(entries.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].offset < entries[b].offset;
    });
    return order;
}

// What lies between the directory and the first data: a gap, then the
// appInfo and sortInfo blocks where the header's IDs point inside that span
// (appInfo first). An ID that points anywhere else stays a number of the
// header, its bytes part of the gap; so the span is always given back whole.
FileLayout layoutOf(const ResourceTable& table, std::span<const std::uint8_t> file,
                    std::vector<std::size_t> order) {
    FileLayout layout;
    if (!std::is_sorted(order.begin(), order.end())) {
        layout.dataOrder = std::move(order);
    }
    const std::size_t directoryEnd = directoryEntryOffset(table.entries.size());
    std::size_t dataStart = file.size();
    for (const ResourceEntry& entry : table.entries) {
        dataStart = std::min<std::size_t>(dataStart, entry.offset);
    }
    if (dataStart < directoryEnd) {
        layout.gap = palmLayout().gap;
        return layout;
    }
    const auto inside = [&](std::uint32_t id, std::size_t from) {
        return id != 0 && id >= from && id <= dataStart;
    };
    const std::uint32_t app = table.header.appInfoID;
    const std::uint32_t sort = table.header.sortInfoID;
    const bool hasApp = inside(app, directoryEnd);
    const bool hasSort = inside(sort, hasApp ? app : directoryEnd);
    const std::size_t gapEnd = hasApp ? app : hasSort ? sort : dataStart;
    const auto bytes = [&file](std::size_t from, std::size_t to) {
        return std::vector<std::uint8_t>(file.begin() + static_cast<std::ptrdiff_t>(from),
                                         file.begin() + static_cast<std::ptrdiff_t>(to));
    };
    layout.gap = bytes(directoryEnd, gapEnd);
    if (hasApp) {
        layout.appInfo = bytes(app, hasSort ? sort : dataStart);
    }
    if (hasSort) {
        layout.sortInfo = bytes(sort, dataStart);
    }
    return layout;
}

// Only regular files are read, as gzip reads them: a device or a pipe could
// never end or hold the program.
const char* readFailure(FileReadStatus status) {
    switch (status) {
        case FileReadStatus::notRegular:
            return "source file is not a regular file";
        case FileReadStatus::tooLarge:
            return "source file is too large for a database";
        case FileReadStatus::cannotRead:
            return "cannot read source file";
        default:
            return "cannot open source file";
    }
}

}  // namespace

DatabaseParse parseResourceDatabase(std::span<const std::uint8_t> file) {
    DatabaseParse result;
    if (file.size() < kHeaderSize) {
        result.error = "source file is shorter than a database header";
        return result;
    }
    if (file.size() > kMaxDatabaseFileSize) {
        result.error = "source file is too large for a database";
        return result;
    }
    const auto fileLength = static_cast<std::uint32_t>(file.size());

    ResourceTable table;
    table.header = parseDatabaseHeader(file);

    if (table.header.nextRecordListID != 0) {
        result.error = "more then one record list in a PRC file is unsupported";
        return result;
    }
    const std::uint16_t count = table.header.numRecords;
    result.announcedCount = count;

    if (file.size() < directoryEntryOffset(count)) {
        result.error = "resource directory runs past the end of the source file";
        return result;
    }

    table.entries.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* raw = &file[directoryEntryOffset(i)];
        ResourceEntry& entry = table.entries[i];
        std::copy_n(raw + kEntryTypeOffset, kTypeCodeSize, entry.type.begin());
        entry.id = byteorder::loadBigEndian16(raw + kEntryIdOffset);
        entry.offset = byteorder::loadBigEndian32(raw + kEntryDataStartOffset);
        if (entry.offset > fileLength) {
            result.error = "resource data lies past the end of the source file";
            return result;
        }
    }

    std::vector<std::size_t> order = dataOrderOf(table.entries);
    const std::vector<std::uint32_t> sizes = deriveSizes(table.entries, order, fileLength);
    for (std::size_t i = 0; i < count; ++i) {
        ResourceEntry& entry = table.entries[i];
        const auto first = file.begin() + entry.offset;
        entry.data.assign(first, first + sizes[i]);
    }
    table.layout = layoutOf(table, file, std::move(order));
    result.table = std::move(table);
    return result;
}

std::optional<ResourceTable> readResourceDatabase(const std::string& path) {
    FileContents contents = readWholeFile(path, kMaxDatabaseFileSize);
    if (contents.status != FileReadStatus::ok) {
        std::printf("ERR: %s!\n", readFailure(contents.status));
        return std::nullopt;
    }
    DatabaseParse parse = parseResourceDatabase(contents.bytes);
    if (parse.announcedCount) {
        std::printf("File has %d resrouces\n", static_cast<int>(*parse.announcedCount));
    }
    if (parse.error != nullptr) {
        std::printf("ERR: %s!\n", parse.error);
    }
    return std::move(parse.table);
}

}  // namespace prc
