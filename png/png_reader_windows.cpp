// PNG decoding through the Windows Imaging Component, which every Windows
// since XP SP3 carries: Lumen.exe needs no PNG library of its own.
#include <wincodec.h>
#include <windows.h>

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
    Releasing<IWICFormatConverter> converter;
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
    // Straight (not premultiplied) alpha, in the byte order of the file's
    // channels: red first.
    const WICPixelFormatGUID target =
        sixteenBits ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat32bppRGBA;
    const UINT bytesPerPixel = sixteenBits ? 8 : 4;
    if (FAILED(factory->CreateFormatConverter(converter.out())) ||
        FAILED(converter->Initialize(frame.pointer, target, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
        return pixels;
    }
    const UINT stride = width * bytesPerPixel;
    pixels.rgba.resize(std::size_t{stride} * height);
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.rgba.size()),
                                     pixels.rgba.data()))) {
        pixels.rgba.clear();
        return pixels;
    }
    pixels.sixteenBits = sixteenBits;
    pixels.ok = true;
    return pixels;
}

}  // namespace png
