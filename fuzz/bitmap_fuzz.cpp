// Any bytes as a bitmap resource: the decoder never reads outside them; the
// members lie inside them in increasing order; a member either has an error
// and no pixels, or exactly width × height pixels within the size limit, and
// those pixels make a PNG file.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "palm_bitmap.h"
#include "png_writer.h"
#include "require.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> resource(data, size);
    const palmbitmap::BitmapFamily family = palmbitmap::decodePalmBitmap(resource);
    bool allDecoded = family.error.empty() && !family.members.empty();
    for (std::size_t k = 0; k < family.members.size(); ++k) {
        const palmbitmap::BitmapMember& member = family.members[k];
        FUZZ_REQUIRE(member.offset < size &&
                     (k == 0 || member.offset > family.members[k - 1].offset));
        if (!member.error.empty()) {
            FUZZ_REQUIRE(member.image.rgba.empty());
            allDecoded = false;
            continue;
        }
        FUZZ_REQUIRE(member.storedSize <= size - member.offset);
        const std::size_t pixels =
            static_cast<std::size_t>(member.width) * static_cast<std::size_t>(member.height);
        FUZZ_REQUIRE(pixels > 0 && pixels * 4 <= palmbitmap::kMaxImageBytes);
        FUZZ_REQUIRE(member.image.width == member.width && member.image.height == member.height &&
                     member.image.rgba.size() == pixels * 4);
        const auto png =
            png::encodeRgbaPng(static_cast<std::uint32_t>(member.width),
                               static_cast<std::uint32_t>(member.height), member.image.rgba);
        FUZZ_REQUIRE(png.size() > 8 && png[1] == 'P' && png[2] == 'N' && png[3] == 'G');
    }
    FUZZ_REQUIRE(palmbitmap::isIntact(family) == allDecoded);
    return 0;
}
