#include "allocation_watch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

// Each block carries its size in front of it, so that delete can count it.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocateOrNull(std::size_t size) noexcept {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        return nullptr;
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t live = liveBytes += size;
    std::size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return block + kHeader;
}

void* allocate(std::size_t size) {
    void* pointer = allocateOrNull(size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

void release(void* pointer) {
    if (pointer == nullptr) {
        return;
    }
    auto* block = static_cast<unsigned char*>(pointer) - kHeader;
    liveBytes -= *reinterpret_cast<std::size_t*>(block);
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    return allocate(size);
}
void* operator new[](std::size_t size) {
    return allocate(size);
}
// Every form that a library may pair with one of the deletes below (a
// sanitizer's runtime replaces each form it is not given).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return allocateOrNull(size);
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
    release(pointer);
}
void operator delete(void* pointer) noexcept {
    release(pointer);
}
void operator delete[](void* pointer) noexcept {
    release(pointer);
}
void operator delete(void* pointer, std::size_t) noexcept {
    release(pointer);
}
void operator delete[](void* pointer, std::size_t) noexcept {
    release(pointer);
}

namespace testsupport {

AllocationWatch::AllocationWatch() : before_(liveBytes) {
    peakBytes = before_;
}

std::size_t AllocationWatch::peak() const {
    return peakBytes - before_;
}

std::size_t AllocationWatch::stillHeld() const {
    return liveBytes - before_;
}

}  // namespace testsupport
