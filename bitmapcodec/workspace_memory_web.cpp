// WebAssembly has one linear memory and no pages to map: the workspace comes
// from the heap, which grows up to the page's cap.
#include <cstdlib>
#include <new>

#include "workspace_memory.h"

namespace bitmapcodec {

WorkspaceMemory obtainWorkspaceMemory(std::size_t size) {
    if (size == 0) {
        return {};
    }
    constexpr std::size_t kAlignment = 64;
    const std::size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
    void* bytes = rounded < size ? nullptr : std::aligned_alloc(kAlignment, rounded);
    if (bytes == nullptr) {
        throw std::bad_alloc();
    }
    return {static_cast<std::byte*>(bytes), size};
}

void returnWorkspaceMemory(WorkspaceMemory memory) {
    std::free(memory.bytes);
}

}  // namespace bitmapcodec
