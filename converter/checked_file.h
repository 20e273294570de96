// The converter's process-wide state and the one way it fails: every routine
// here returns only on success and ends the process otherwise.
#pragma once

#include <cstdint>
#include <cstdio>

#include "recast_platform.h"

namespace recast {

inline constexpr const char* kWritingStageMessage =
    "Error in writing stage.  The skin may have become corrupted--get a new copy before doing "
    "anything more with it.";

extern char skinPath[kPathBufferSize];
extern std::FILE* skinFile;
// What a short read reports; the conversion switches it to the writing-stage
// message once it has rewritten the header.
extern const char* readFailureMessage;

// Closes the skin file (before the box, so the user may act on the file at
// once), shows the message in a box titled "Error" and exits with status 1.
[[noreturn]] void fatalError(const char* message);

// Positions the stream at offset from the start, or fails with the
// writing-stage message.
void seekExact(std::FILE* stream, std::int32_t offset);

std::uint16_t readBigEndian16(std::FILE* stream);

// Fills buffer[0..3]; writes no terminator.
void readTypeCode(std::FILE* stream, std::uint8_t* buffer);

}  // namespace recast
