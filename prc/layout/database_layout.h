// Where each field of a resource database's header lies, and the sizes of
// the header and of a directory entry. Numbers alone, in a folder of their
// own: the reader and writer follow them, and so does Recast, which includes
// this header and links no prc/ code.
#pragma once

#include <cstddef>

namespace prc {

// The header. Its numbers are big-endian; the name and the codes are raw bytes.
inline constexpr std::size_t kNameOffset = 0;
inline constexpr std::size_t kNameSize = 32;                  // need not hold a NUL
inline constexpr std::size_t kAttributesOffset = 32;          // 16-bit
inline constexpr std::size_t kVersionOffset = 34;             // 16-bit
inline constexpr std::size_t kCreationDateOffset = 36;        // 32-bit
inline constexpr std::size_t kModificationDateOffset = 40;    // 32-bit
inline constexpr std::size_t kLastBackupDateOffset = 44;      // 32-bit
inline constexpr std::size_t kModificationNumberOffset = 48;  // 32-bit
inline constexpr std::size_t kAppInfoIDOffset = 52;           // 32-bit
inline constexpr std::size_t kSortInfoIDOffset = 56;          // 32-bit
inline constexpr std::size_t kTypeOffset = 60;
inline constexpr std::size_t kCreatorOffset = 64;
// The type, the creator and an entry's type are four-byte codes.
inline constexpr std::size_t kTypeCodeSize = 4;
inline constexpr std::size_t kUniqueIDSeedOffset = 68;      // 32-bit
inline constexpr std::size_t kNextRecordListIDOffset = 72;  // 32-bit
inline constexpr std::size_t kNumRecordsOffset = 76;        // 16-bit
inline constexpr std::size_t kHeaderSize = 78;

// The directory follows the header, one entry per resource.
inline constexpr std::size_t kDirectoryEntrySize = 10;
inline constexpr std::size_t kEntryTypeOffset = 0;
inline constexpr std::size_t kEntryIdOffset = 4;         // 16-bit
inline constexpr std::size_t kEntryDataStartOffset = 6;  // 32-bit: where the resource begins

// Where the directory entry of resource `index` begins.
constexpr std::size_t directoryEntryOffset(std::size_t index) {
    return kHeaderSize + kDirectoryEntrySize * index;
}

}  // namespace prc
