// A failed property ends the fuzzer's run with a report, like a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            (void)std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);                \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
