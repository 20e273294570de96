#include <cstdio>

#include "commands.h"
#include "shown_text.h"

namespace lumen {

void reportFailure(const std::string& file, const std::string& what) {
    std::fprintf(stderr, "Lumen: %s: %s\n", shownPath(file).c_str(), what.c_str());
}

}  // namespace lumen
