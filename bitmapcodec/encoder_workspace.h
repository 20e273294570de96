// The encoder's working memory, kept from bitmap to bitmap for a whole pass:
// the index of one bitmap spans megabytes that are written whole, and taking
// them afresh and cleared for every bitmap cost more in page faults and
// clearing than the search itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wavelet_matrix.h"
#include "workspace_memory.h"

namespace bitmapcodec {

// One entry of the stack that finds each position's longest earlier match.
struct EarlierMatchEntry {
    std::int32_t position;
    std::int32_t withBelow;
    std::int32_t withAbove;
};

struct EncoderWorkspace {
    EncoderWorkspace() = default;
    EncoderWorkspace(const EncoderWorkspace&) = delete;
    EncoderWorkspace& operator=(const EncoderWorkspace&) = delete;
    ~EncoderWorkspace() { returnWorkspaceMemory(arena); }

    // The index's arrays, laid out anew for each input (buildMatchIndex);
    // grown only for an input that needs more.
    WorkspaceMemory arena;
    std::vector<EarlierMatchEntry> earlierMatchStack;
    WaveletMatrix positionsByRank;
};

// At least size bytes of the arena, their contents unspecified.
inline std::byte* arenaRoom(EncoderWorkspace& workspace, std::size_t size) {
    if (workspace.arena.size < size) {
        returnWorkspaceMemory(workspace.arena);
        workspace.arena = {};
        workspace.arena = obtainWorkspaceMemory(size);
    }
    return workspace.arena.bytes;
}

}  // namespace bitmapcodec
