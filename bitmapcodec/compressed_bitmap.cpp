#include "compressed_bitmap.h"

#include <algorithm>

#include "byte_order.h"
#include "encoder_workspace.h"

namespace bitmapcodec {
namespace {

constexpr std::size_t kRewrittenByteOffset = 27;

std::uint32_t placePlainCopy(std::span<const std::uint8_t> data, std::span<std::uint8_t> out) {
    std::copy(data.begin(), data.end(), out.begin());
    return static_cast<std::uint32_t>(data.size());
}

}  // namespace

ContainerInfo inspectContainer(std::span<const std::uint8_t> data) {
    ContainerInfo info;
    info.isContainer = data.size() >= kContainerMagic.size() &&
                       std::equal(kContainerMagic.begin(), kContainerMagic.end(), data.begin());
    if (info.isContainer && data.size() >= kContainerHeaderSize) {
        info.declaredSize = byteorder::loadLittleEndian32(&data[4]);
    }
    return info;
}

std::uint32_t encodeBitmapResource(std::span<std::uint8_t> data, std::span<std::uint8_t> out,
                                   bool plrcRemoved, bool keepRaw, EncoderWorkspace& workspace) {
    const std::size_t size = data.size();
    if (size > UINT32_MAX || out.size() < compressedBitmapBound(size)) {
        return 0;
    }
    if (inspectContainer(data).isContainer) {
        return placePlainCopy(data, out);
    }
    if (plrcRemoved && size > kRewrittenByteOffset && data[kRewrittenByteOffset] == 2) {
        data[kRewrittenByteOffset] = 1;
    }
    // A kept bitmap is stored as its plain copy whatever the stream would be:
    // encoding it would only cost time.
    if (keepRaw) {
        return placePlainCopy(data, out);
    }
    std::copy(kContainerMagic.begin(), kContainerMagic.end(), out.begin());
    byteorder::storeLittleEndian32(static_cast<std::uint32_t>(size), &out[4]);
    const std::uint32_t streamSize =
        markerLzEncode(data, out.subspan(kContainerHeaderSize), kBitmapMaxDistance, workspace);
    byteorder::storeLittleEndian32(streamSize, &out[8]);

    const std::size_t containerSize = kContainerHeaderSize + streamSize;
    if (containerSize < size) {
        return static_cast<std::uint32_t>(containerSize);
    }
    return placePlainCopy(data, out);
}

std::uint32_t encodeBitmapResource(std::span<std::uint8_t> data, std::span<std::uint8_t> out,
                                   bool plrcRemoved, bool keepRaw) {
    EncoderWorkspace workspace;
    return encodeBitmapResource(data, out, plrcRemoved, keepRaw, workspace);
}

Decoded decodeCompressedBitmap(std::span<const std::uint8_t> container) {
    Decoded result;
    const ContainerInfo info = inspectContainer(container);
    if (!info.declaredSize) {
        result.error = "not a compressed bitmap";
        return result;
    }
    const std::uint32_t uncompressedSize = *info.declaredSize;
    const std::uint32_t streamSize = byteorder::loadLittleEndian32(&container[8]);
    if (streamSize != container.size() - kContainerHeaderSize) {
        result.error = "stream size does not match the container";
        return result;
    }
    return markerLzDecode(container.subspan(kContainerHeaderSize), uncompressedSize);
}

}  // namespace bitmapcodec
