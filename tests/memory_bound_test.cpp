// The encoder's working memory stays within 64 bytes per input byte and is
// all given back when the call returns.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "input_classes.h"
#include "marker_lz.h"
#include "match_search.h"

namespace {

std::atomic<std::size_t> liveBytes{0};
std::atomic<std::size_t> peakBytes{0};

// Each block carries its size in front of it, so that delete can count it.
constexpr std::size_t kHeader = alignof(std::max_align_t);

void* allocate(std::size_t size) {
    auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    *reinterpret_cast<std::size_t*>(block) = size;
    const std::size_t live = liveBytes += size;
    std::size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    return block + kHeader;
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

namespace {

struct Case {
    const char* name;
    inputclasses::Bytes input;
};

TEST(EncoderMemory, StaysWithin64BytesPerInputByteAndIsFreed) {
    const std::vector<Case> cases = {
        {"tiny", inputclasses::randomOverAlphabet(100, 3, 4)},
        {"small", inputclasses::randomOverAlphabet(3000, 2, 4)},
        {"gradient", inputclasses::gradient(320, 480)},
        {"tiled sprites", inputclasses::tiledSprites(320, 480, 5)},
        {"two values", inputclasses::randomTwoValues(200000, 6)},
        {"random", inputclasses::randomBytes(200000, 7)},
        {"near period 5", inputclasses::nearPeriodic(200000, 5, 300, 8)},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> stream(bitmapcodec::markerLzStreamBound(c.input.size()));
        const std::size_t before = liveBytes;
        peakBytes = before;
        bitmapcodec::markerLzEncode(c.input, stream, bitmapcodec::kBitmapMaxDistance);
        const std::size_t working = peakBytes - before;
        std::printf("%-14s %7zu bytes: peak working memory %9zu bytes (%.1f per input byte)\n",
                    c.name, c.input.size(), working,
                    static_cast<double>(working) / static_cast<double>(c.input.size()));
        EXPECT_LE(working, 64 * c.input.size()) << c.name;
        EXPECT_EQ(liveBytes.load(), before) << c.name;
    }
}

// The most the encoder ever holds: the chains and the index at once, which
// it builds only for inputs that need both.
TEST(EncoderMemory, ChainsAndIndexTogetherStayWithinTheBound) {
    const inputclasses::Bytes input = inputclasses::tiledSprites(320, 480, 9);
    const std::size_t before = liveBytes;
    peakBytes = before;
    {
        bitmapcodec::FastSearch search;
        search.source = input;
        search.maximumDistance = bitmapcodec::kBitmapMaxDistance;
        search.chains = bitmapcodec::buildMatchChains(input);
        search.index = bitmapcodec::buildMatchIndex(input);
    }
    const std::size_t working = peakBytes - before;
    std::printf("chains + index %7zu bytes: peak working memory %9zu bytes (%.1f per input byte)\n",
                input.size(), working,
                static_cast<double>(working) / static_cast<double>(input.size()));
    EXPECT_LE(working, 64 * input.size());
    EXPECT_EQ(liveBytes.load(), before);
}

}  // namespace
