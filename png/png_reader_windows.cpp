// PNG decoding through the Windows Imaging Component, which every Windows
// since XP SP3 carries: Lumen.exe needs no PNG library of its own.
#include <wincodec.h>
#include <windows.h>

#include <vector>

#include "png_reader.h"

namespace png {
namespace {

template <typename T>
struct Releasing {
    T* pointer = nullptr;
    Releasing() = default;
    Releasing(const Releasing&) = delete;
    Releasing& operator=(const Releasing&) = delete;
    ~Releasing() {
        if (pointer != nullptr) {
            pointer->Release();
        }
    }
    T* operator->() const { return pointer; }
    T** out() { return &pointer; }
};

struct ComSession {
    HRESULT result = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    ComSession() = default;
    ComSession(const ComSession&) = delete;
    ComSession& operator=(const ComSession&) = delete;
    ~ComSession() {
        if (SUCCEEDED(result)) {
            CoUninitialize();
        }
    }
};

}  // namespace

LibraryPixels decodeWithLibrary(std::span<const std::uint8_t> file, std::uint32_t width,
                                std::uint32_t height, bool sixteenBits) {
    LibraryPixels pixels;
    const ComSession com;
    if (FAILED(com.result) && com.result != RPC_E_CHANGED_MODE) {
        return pixels;
    }
    Releasing<IWICImagingFactory> factory;
    Releasing<IWICStream> stream;
    Releasing<IWICBitmapDecoder> decoder;
    Releasing<IWICBitmapFrameDecode> frame;
    if (file.size() > MAXDWORD ||
        FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_PPV_ARGS(factory.out()))) ||
        FAILED(factory->CreateStream(stream.out())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(file.data()),
                                            static_cast<DWORD>(file.size()))) ||
        FAILED(factory->CreateDecoder(GUID_ContainerFormatPng, nullptr, decoder.out())) ||
        FAILED(decoder->Initialize(stream.pointer, WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.out()))) {
        return pixels;
    }
    UINT frameWidth = 0;
    UINT frameHeight = 0;
    if (FAILED(frame->GetSize(&frameWidth, &frameHeight)) || frameWidth != width ||
        frameHeight != height) {
        return pixels;
    }
    WICPixelFormatGUID frameFormat{};
    if (FAILED(frame->GetPixelFormat(&frameFormat))) {
        return pixels;
    }
    // 16-bit frames are copied as the decoder gives them (channels in host
    // order) and widened here: Wine converts no format into itself, and its
    // conversions to 8 bits differ from the rounding decodePng applies.
    const struct {
        const GUID* format;
        UINT channels;
    } wideFormats[] = {{&GUID_WICPixelFormat64bppRGBA, 4},
                       {&GUID_WICPixelFormat48bppRGB, 3},
                       {&GUID_WICPixelFormat16bppGray, 1}};
    for (const auto& wide : wideFormats) {
        if (!sixteenBits || !IsEqualGUID(frameFormat, *wide.format)) {
            continue;
        }
        const UINT stride = width * wide.channels * 2;
        std::vector<std::uint8_t> frameBytes(std::size_t{stride} * height);
        if (FAILED(frame->CopyPixels(nullptr, stride, static_cast<UINT>(frameBytes.size()),
                                     frameBytes.data()))) {
            return pixels;
        }
        const std::size_t count = std::size_t{width} * height;
        pixels.rgba.resize(count * 8);
        for (std::size_t p = 0; p < count; ++p) {
            std::uint8_t* out = &pixels.rgba[p * 8];
            const std::uint8_t* in = &frameBytes[p * wide.channels * 2];
            for (UINT c = 0; c < 4; ++c) {
                const UINT from = wide.channels == 1 ? 0 : c;
                if (c == 3 && wide.channels < 4) {
                    out[6] = out[7] = 0xFF;  // opaque, in either byte order
                } else {
                    out[2 * c] = in[2 * from];
                    out[2 * c + 1] = in[2 * from + 1];
                }
            }
        }
        pixels.sixteenBits = true;
        pixels.ok = true;
        return pixels;
    }
    // Everything else becomes straight (not premultiplied) 8-bit RGBA, red first.
    Releasing<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.pointer, GUID_WICPixelFormat32bppRGBA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return pixels;
    }
    const UINT stride = width * 4;
    pixels.rgba.resize(std::size_t{stride} * height);
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.rgba.size()),
                                     pixels.rgba.data()))) {
        pixels.rgba.clear();
        return pixels;
    }
    pixels.sixteenBits = false;
    pixels.ok = true;
    return pixels;
}

}  // namespace png
