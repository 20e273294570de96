#include "image_file.h"

#include "file_access.h"
#include "file_reading.h"
#include "png_reader.h"

namespace lumen {
namespace {

ImageLoad decodedImage(const prc::FileContents& contents) {
    ImageLoad load;
    if (contents.status != prc::FileReadStatus::ok) {
        load.error = readFailure(contents.status, std::to_string(png::kMaxPngFileSize >> 20) +
                                                      " MB, the limit for a PNG file");
        return load;
    }
    png::DecodedPng png = png::decodePng(contents.bytes);
    if (!png.error.empty()) {
        load.error = png.error;
        return load;
    }
    load.image = palmbitmap::Image{static_cast<int>(png.width), static_cast<int>(png.height),
                                   std::move(png.rgba)};
    return load;
}

}  // namespace

ImageLoad loadPngImage(const std::string& path) {
    return decodedImage(prc::readWholeFile(path, png::kMaxPngFileSize));
}

ImageLoad loadPngImageInside(const std::string& folder, const std::string& path) {
    return decodedImage(prc::readWholeFileInside(folder, path, png::kMaxPngFileSize));
}

}  // namespace lumen
