#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "checked_file.h"
#include "platform.h"
#include "skin_conversion.h"

namespace {

// Nonzero when the user chose a file, whose path then stands in path.
int chooseSkinFile(char (&path)[recast::kPathBufferSize]) {
    return recast::chooseExistingFile("Select skin to convert from T3 to Orvane.", path);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace recast;
    if (argc == 2) {
        // A longer path could not have come from the dialog and would not fit.
        if (std::strlen(argv[1]) >= kPathBufferSize) {
            fatalError("Error reading input file.");
        }
        std::strcpy(skinPath, argv[1]);
    } else if (chooseSkinFile(skinPath) == 0) {
        return 0;
    }
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    skinFile = std::fopen(skinPath, "r+b");
    if (skinFile == nullptr) {
        fatalError("Error reading input file.");
    }
    convertSkinInPlace();

    // Buffered writes reach the file only now: a failure here is a failure of
    // the writing stage, not a success.
    const bool flushed = std::fflush(skinFile) == 0;
    const bool closed = std::fclose(skinFile) == 0;
    skinFile = nullptr;
    if (!flushed || !closed) {
        fatalError(kWritingStageMessage);
    }
    showMessage("Success", "Conversion to Orvane format successful.");
    return 0;
}
