// Checks that need a tool from outside the project: skipped, with the reason,
// where the tool is missing; failed where the named variable is set (as CI
// sets them), so that a missing tool never passes unnoticed there.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#define REQUIRE_TOOL(available, variable, reason)   \
    do {                                            \
        if (!(available)) {                         \
            if (std::getenv(variable) != nullptr) { \
                FAIL() << reason;                   \
            }                                       \
            GTEST_SKIP() << reason;                 \
        }                                           \
    } while (false)
