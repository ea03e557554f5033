#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>

void FuzzCheck::expect(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "\n== fuzz check failed: %s\n", what.c_str());
    std::abort();
}
