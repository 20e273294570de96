#include "skin_rules.h"

#include <algorithm>

#include "compressed_bitmap.h"

namespace skinrules {
namespace {

constexpr std::array<std::uint16_t, 13> kKeepRawIds = {
    31003, 31004, 31165, 31166, 31140, 31141, 31142, 31143, 31144, 31145, 31146, 31147, 31999,
};

}  // namespace

bool isBitmapType(const prc::TypeCode& type) {
    return std::find(kBitmapTypes.begin(), kBitmapTypes.end(), type) != kBitmapTypes.end();
}

bool mayCompressBitmapId(std::uint16_t id) {
    return std::find(kKeepRawIds.begin(), kKeepRawIds.end(), id) == kKeepRawIds.end();
}

TesselAction tesselActionFor(const prc::TypeCode& type, std::uint16_t id,
                             std::span<const std::uint8_t> data) {
    if (type != kSkinBitmapType) {
        return TesselAction::none;
    }
    if (bitmapcodec::inspectContainer(data).isContainer) {
        return TesselAction::asIs;
    }
    return mayCompressBitmapId(id) ? TesselAction::compress : TesselAction::keepRaw;
}

}  // namespace skinrules
