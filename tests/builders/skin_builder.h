// Builds resource database files and Palm bitmaps byte by byte, independently
// of the compressor's own writer, for the sample skin and the tests.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace skinbuilder {

using Bytes = std::vector<std::uint8_t>;

struct Resource {
    std::string type;  // four characters
    std::uint16_t id = 0;
    Bytes data;
};

// Every header field of a database file that a test may want to vary.
struct DatabaseLayout {
    std::array<std::uint8_t, 32> name{};
    std::string type = "rsrc";
    std::string creator = "sBar";
    std::uint16_t attributes = 0x0001;
    std::uint16_t version = 1;
    std::uint32_t creationDate = 0xC0000000;
    std::uint32_t modificationDate = 0xC0000000;
    std::uint32_t lastBackupDate = 0;
    std::uint32_t modificationNumber = 1;
    std::uint32_t appInfoID = 0;
    std::uint32_t sortInfoID = 0;
    std::uint32_t uniqueIDSeed = 0;
    std::uint32_t nextRecordListID = 0;
    std::size_t gapBytes = 2;  // the customary two zero bytes after the directory
    std::vector<Resource> resources;
};

std::array<std::uint8_t, 32> databaseName(const std::string& text);

// The layout as the tests spell it, apart from the reader's and writer's own:
// the header's size, and where resource index's directory entry and its
// offset field begin.
inline constexpr std::size_t kHeaderBytes = 78;
constexpr std::size_t directoryEntryAt(std::size_t index) {
    return kHeaderBytes + 10 * index;
}
constexpr std::size_t offsetFieldAt(std::size_t index) {
    return directoryEntryAt(index) + 6;
}

// Header, directory, gap, then each resource's data in directory order.
Bytes buildDatabase(const DatabaseLayout& layout);

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

// A version 2 bitmap with 16-bit direct colour (RGB 5-6-5, big-endian).
Bytes directColorBitmap(int width, int height, const std::function<Rgb(int x, int y)>& pixel);

// A version 2 bitmap with 8 bits per pixel in the system palette.
Bytes indexedBitmap(int width, int height, const std::function<std::uint8_t(int x, int y)>& pixel);

// A version 3 bitmap of 16-bit direct colour at a density (72, 108, 144...).
Bytes highDensityBitmap(int width, int height, int density,
                        const std::function<Rgb(int x, int y)>& pixel);

// Members (version 2 or 3, each with its next field 0) chained in the order
// given, each padded to four bytes, and the density marker before the first
// member of another density than 72, as the handheld expects it; one listed
// before a member of density 72 hides that member from systems before Palm OS 5.
Bytes bitmapFamily(std::vector<Bytes> members);

// A cBMP container that declares `total` bytes in few: the prefix, then its
// last byte repeated by one match. Hostile inputs for the decoders' limits.
Bytes repeatingContainer(const Bytes& prefix, std::uint32_t total);

// The sample skin that the repository ships.
Bytes sampleSkin();

}  // namespace skinbuilder
