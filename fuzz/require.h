// How a fuzz target reports a broken property: an abort, which libFuzzer
// records with the input that caused it.
#pragma once

#include <cstdlib>

namespace fuzzcheck {

inline void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace fuzzcheck
