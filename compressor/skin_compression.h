// The compressor's single pass over one skin database.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace tessel {

// Reads the database at inputPath, drops the first 'PlRC' resource of id 0,
// compresses every 'abmp' bitmap where that is smaller, prints the savings and
// writes the result to outputPath (which may be inputPath). Returns false when
// the input could not be read, memory ran out or the output could not be
// written; either way the lines printed say why.
// bitmapDone, when given, hears of each bitmap the pass has handled (the web
// page shows it as progress; a pass over a large skin takes seconds).
using BitmapDone = std::function<void(std::size_t done, std::size_t total)>;
bool compressSkinDatabase(const std::string& inputPath, const std::string& outputPath,
                          const BitmapDone& bitmapDone = {});

}  // namespace tessel
