#include "checked_file.h"

#include <cstdlib>

#include "byte_order.h"

namespace recast {

char skinPath[kPathBufferSize];
std::FILE* skinFile = nullptr;
const char* readFailureMessage = "Error reading file.";

void fatalError(const char* message) {
    if (skinFile != nullptr) {
        std::fclose(skinFile);
        skinFile = nullptr;
    }
    showMessage("Error", message);
    std::exit(1);
}

void seekExact(std::FILE* stream, std::int32_t offset) {
    if (std::fseek(stream, offset, SEEK_SET) < 0 || std::ftell(stream) != offset) {
        fatalError(kWritingStageMessage);
    }
}

namespace {

std::uint8_t readByte(std::FILE* stream) {
    const int c = std::fgetc(stream);
    if (c == EOF) {
        fatalError(readFailureMessage);
    }
    return static_cast<std::uint8_t>(c);
}

}  // namespace

std::uint16_t readBigEndian16(std::FILE* stream) {
    // A braced list is evaluated in order: the high byte is read first.
    const std::uint8_t bytes[2] = {readByte(stream), readByte(stream)};
    return byteorder::loadBigEndian16(bytes);
}

void readTypeCode(std::FILE* stream, std::uint8_t* buffer) {
    for (int i = 0; i < 4; ++i) {
        buffer[i] = readByte(stream);
    }
}

}  // namespace recast
