// How a fuzz target reports a broken property: the check's place and text on
// standard error, then an abort, which libFuzzer records with the input that
// caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}

}  // namespace fuzzcheck

// Variadic, so that a condition with commas outside parentheses stays one.
#define FUZZ_REQUIRE(...) \
    ((__VA_ARGS__) ? static_cast<void>(0) : ::fuzzcheck::fail(#__VA_ARGS__, __FILE__, __LINE__))
