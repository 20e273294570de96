#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

#include "workspace_memory.h"

namespace bitmapcodec {
namespace {

// The size of a transparent huge page on x86-64 and most 64-bit Arm kernels.
constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

WorkspaceMemory obtainWorkspaceMemory(std::size_t size) {
    if (size == 0) {
        return {};
    }
    // Mapped with a large page's worth to spare and trimmed to a start on a
    // large page, so that every whole large page of the block can be one.
    void* mapped = ::mmap(nullptr, size + kLargePage, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        throw std::bad_alloc();
    }
    const auto first = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (first + kLargePage - 1) & ~(kLargePage - 1);
    if (aligned > first) {
        ::munmap(mapped, aligned - first);
    }
    const std::uintptr_t end = first + size + kLargePage;
    // The tail is given back from the first whole page past the block, in
    // the system's own page size.
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t used = (aligned + size + page - 1) & ~(page - 1);
    if (end > used) {
        ::munmap(reinterpret_cast<void*>(used), end - used);
    }
    auto* bytes = reinterpret_cast<std::byte*>(aligned);
    // Only advice: where the system has no large pages, small ones serve.
    if (size >= kLargePage) {
        ::madvise(bytes, size, MADV_HUGEPAGE);
    }
    return {bytes, size};
}

void returnWorkspaceMemory(WorkspaceMemory memory) {
    if (memory.bytes != nullptr) {
        ::munmap(memory.bytes, memory.size);
    }
}

}  // namespace bitmapcodec
