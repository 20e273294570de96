// Writes the sample skin that the repository ships:  make_sample_skin <path>
#include <cstdio>

#include "skin_builder.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample_skin <output.prc>\n");
        return 2;
    }
    const skinbuilder::Bytes skin = skinbuilder::sampleSkin();
    std::FILE* file = std::fopen(argv[1], "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "make_sample_skin: cannot open %s\n", argv[1]);
        return 1;
    }
    const bool written = std::fwrite(skin.data(), 1, skin.size(), file) == skin.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "make_sample_skin: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
