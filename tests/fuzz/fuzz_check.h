#pragma once
// A check inside a fuzz target: a broken property ends the run like a crash, so libFuzzer
// keeps the input that broke it.
#include <cstdio>
#include <cstdlib>

#define OV_FUZZ_CHECK(condition)                                                           \
    do {                                                                                   \
        if (!(condition)) {                                                                \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)
