// The only place where the encoder asks the operating system for memory, so
// that POSIX and Windows differ in one file each.
#pragma once

#include <cstddef>

namespace bitmapcodec {

// A block of memory whose contents are unspecified.
struct WorkspaceMemory {
    std::byte* bytes = nullptr;
    std::size_t size = 0;
};

// A block of at least size bytes, aligned to 64, in large pages where the
// system gives them: an index spans megabytes that are all written, and small
// pages cost a fault each 4 KiB. Throws std::bad_alloc when there is none,
// as the standard containers do.
WorkspaceMemory obtainWorkspaceMemory(std::size_t size);

void returnWorkspaceMemory(WorkspaceMemory memory);

}  // namespace bitmapcodec
