#include "image_file.h"

#include "file_access.h"
#include "png_reader.h"

namespace lumen {

ImageLoad loadPngImage(const std::string& path) {
    ImageLoad load;
    const prc::FileContents contents = prc::readWholeFile(path);
    if (contents.status != prc::FileReadStatus::ok) {
        load.error = contents.status == prc::FileReadStatus::cannotOpen ? "cannot open the file"
                                                                        : "cannot read the file";
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

}  // namespace lumen
