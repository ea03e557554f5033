// The tests make and drop in-memory drives of tens of MiB by the hundred. The C library gives
// such blocks back to the system when they are freed and maps fresh pages for the next one,
// each page costing a fault on first touch, which on a virtual machine outweighs the test's
// own work many times. Kept in the heap instead, a freed drive's pages serve the next one.
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>

namespace {
const bool heapKept = [] {
    mallopt(M_MMAP_MAX, 0);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    return true;
}();
}  // namespace
#endif
