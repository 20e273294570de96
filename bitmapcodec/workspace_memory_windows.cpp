#include <windows.h>

#include <new>

#include "workspace_memory.h"

namespace bitmapcodec {

// Large pages on Windows need a privilege that ordinary accounts lack, so the
// block is committed in small pages.
WorkspaceMemory obtainWorkspaceMemory(std::size_t size) {
    if (size == 0) {
        return {};
    }
    void* block = ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return {static_cast<std::byte*>(block), size};
}

void returnWorkspaceMemory(WorkspaceMemory memory) {
    if (memory.bytes != nullptr) {
        ::VirtualFree(memory.bytes, 0, MEM_RELEASE);
    }
}

}  // namespace bitmapcodec
