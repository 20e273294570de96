// Loads and stores of numbers in a given byte order, whatever the host's.
// Header-only, so that every library reading or writing a file format shares
// them without linking one another (Recast links no prc/ code).
//
// The span forms take the field at `at`, which must lie wholly inside: the
// hardened build checks that, where the pointer forms cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace byteorder {

inline std::uint16_t loadBigEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline std::uint32_t loadBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

inline std::uint16_t loadLittleEndian16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t loadLittleEndian32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

inline void storeBigEndian16(std::uint16_t value, std::uint8_t* bytes) {
    bytes[0] = static_cast<std::uint8_t>(value >> 8);
    bytes[1] = static_cast<std::uint8_t>(value);
}

inline void storeBigEndian32(std::uint32_t value, std::uint8_t* bytes) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

inline void storeLittleEndian32(std::uint32_t value, std::uint8_t* bytes) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
    bytes[2] = static_cast<std::uint8_t>(value >> 16);
    bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

inline std::uint16_t loadBigEndian16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return loadBigEndian16(bytes.subspan(at, 2).data());
}

inline std::uint32_t loadBigEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return loadBigEndian32(bytes.subspan(at, 4).data());
}

inline void storeBigEndian16(std::uint16_t value, std::span<std::uint8_t> bytes, std::size_t at) {
    storeBigEndian16(value, bytes.subspan(at, 2).data());
}

inline void storeBigEndian32(std::uint32_t value, std::span<std::uint8_t> bytes, std::size_t at) {
    storeBigEndian32(value, bytes.subspan(at, 4).data());
}

}  // namespace byteorder
