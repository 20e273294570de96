// The few facts about skins that Tessel and Lumen share: which resources hold
// bitmaps, which bitmaps the handheld reads uncompressed, and so what Tessel
// does with each resource.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "database_header.h"

namespace skinrules {

// A skin's own bitmaps: the only resources that Tessel compresses.
inline constexpr prc::TypeCode kSkinBitmapType = prc::typeCode("abmp");
// The settings resource that Tessel drops (the first one of id 0).
inline constexpr prc::TypeCode kSettingsType = prc::typeCode("PlRC");

// Skin bitmaps, and the system's bitmap and application-icon resources.
inline constexpr std::array<prc::TypeCode, 3> kBitmapTypes = {
    kSkinBitmapType, prc::typeCode("Tbmp"), prc::typeCode("tAIB")};

bool isBitmapType(const prc::TypeCode& type);

// False for the bitmaps that the handheld reads uncompressed.
bool mayCompressBitmapId(std::uint16_t id);

enum class TesselAction {
    none,      // not a skin bitmap: copied as it is
    compress,  // stored as a container where that is smaller
    keepRaw,   // on the keep-raw list: always stored plain
    asIs,      // already a container: copied unchanged
};

TesselAction tesselActionFor(const prc::TypeCode& type, std::uint16_t id,
                             std::span<const std::uint8_t> data);

}  // namespace skinrules
