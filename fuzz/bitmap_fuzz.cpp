// Any bytes as a bitmap resource, as Lumen takes it (out of its container
// first, when it is one): a container that declares more than a bitmap may
// hold is refused before it is decoded; the decoder never reads outside the
// bitmap; the members lie inside it in increasing order, none inside the one
// before; a member either has an error and no pixels, or exactly
// width × height pixels within the size limit and the budget, and those
// pixels make a PNG file.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "png_writer.h"
#include "require.h"
#include "skin_view.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const prc::ResourceEntry entry{prc::typeCode("abmp"), 1000, {data, data + size}, 0};
    lumen::DecodeBudget budget;
    const lumen::ResourceView view = lumen::viewResource(entry, budget);
    if (view.form == lumen::StoredForm::container) {
        FUZZ_REQUIRE(view.declaredSize <= lumen::kMaxContainerBytes ||
                     !view.containerError.empty());
        if (!view.containerError.empty()) {
            FUZZ_REQUIRE(view.bitmap.empty() && view.family.members.empty());
            return 0;
        }
        FUZZ_REQUIRE(view.bitmap.size() == view.declaredSize);
    }
    const std::span<const std::uint8_t> resource = view.bitmap;
    const palmbitmap::BitmapFamily& family = view.family;
    const std::size_t unpacked = view.form == lumen::StoredForm::container ? resource.size() : 0;
    FUZZ_REQUIRE(unpacked + palmbitmap::decodedImageBytes(family) <= lumen::kDecodeBudget);
    bool allDecoded = family.error.empty() && !family.members.empty();
    for (std::size_t k = 0; k < family.members.size(); ++k) {
        const palmbitmap::BitmapMember& member = family.members[k];
        // A member ends after its 16-byte header at least.
        FUZZ_REQUIRE(member.offset < resource.size() &&
                     (k == 0 || member.offset >= family.members[k - 1].offset +
                                                     std::max(family.members[k - 1].storedSize,
                                                              std::size_t{16})));
        if (!member.error.empty()) {
            FUZZ_REQUIRE(member.image.rgba.empty());
            allDecoded = false;
            continue;
        }
        FUZZ_REQUIRE(member.storedSize <= resource.size() - member.offset);
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
