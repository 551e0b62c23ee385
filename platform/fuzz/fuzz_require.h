// The one way a fuzz entry reports a fault: it says what broke and aborts,
// which the fuzzer and the corpus replay both see as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void fuzzRequire(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz entry: %s\n", what);
    std::abort();
}
