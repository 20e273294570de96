#include "commands.h"
#include "image_file.h"

namespace lumen {

int replaceBitmap(const std::string& skinPath, const std::string& id, const std::string& imagePath,
                  const std::string& outputPath) {
    return replaceBitmapFrom(skinPath, id, imagePath, outputPath,
                             [&imagePath] { return loadPngImage(imagePath); });
}

}  // namespace lumen
