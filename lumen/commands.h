// Lumen's commands. Each prints its report on standard output, its
// failures on standard error (naming the file), and returns the exit status.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "image_file.h"
#include "resource_database.h"

namespace lumen {

int listSkin(const std::string& path);
int checkSkins(const std::vector<std::string>& paths);
int exportSkin(const std::string& path, const std::string& folder);
int unpackSkin(const std::string& path, const std::string& outputPath);
int buildSkin(const std::string& folder, const std::string& outputPath);
int replaceBitmap(const std::string& skinPath, const std::string& id, const std::string& imagePath,
                  const std::string& outputPath);
// The same with the image from elsewhere (the web page decodes it itself):
// loadImage is called where the PNG file would be read, once every check of
// the skin and the id has passed; imagePath names the image in messages.
int replaceBitmapFrom(const std::string& skinPath, const std::string& id,
                      const std::string& imagePath, const std::string& outputPath,
                      const std::function<ImageLoad()>& loadImage);

// True when the folder already holds, byte for byte, every file that
// exporting the skin would write (other files may be there too): an earlier
// export of this skin that nobody has changed since.
bool holdsExportOf(const std::string& path, const std::string& folder);

// Lumen given one path alone, as a file manager passes a file dropped on the
// program: a skin is exported to a folder beside it whose contact sheet is
// then opened, a folder holding a skin.toml built into a skin beside it.
// Nothing when the path is neither.
std::optional<int> runDropped(const std::string& path);

// Writes a database of the entries under the header, in the layout (by
// default the data right after the directory), through the writer that
// replaces a file only once the new one is complete; returns its size, or
// reports why not ("not written: the <what> would not fit ...", "cannot
// write the file") and returns nothing.
std::optional<std::size_t> writeSkin(const std::string& outputPath,
                                     const prc::DatabaseHeader& header,
                                     std::span<const prc::ResourceEntry> entries,
                                     const std::string& what = "skin",
                                     const prc::FileLayout& layout = {});

// One line on standard error: "Lumen: <file>: <what>".
void reportFailure(const std::string& file, const std::string& what);

}  // namespace lumen
