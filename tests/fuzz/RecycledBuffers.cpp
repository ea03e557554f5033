// Large blocks (transfer buffers of a MiB, the directory's entries, a chain walk's marks) for
// the fuzz targets. Under AddressSanitizer every block above its small-block sizes is mapped
// afresh and every one of its pages faults in on first use, which on this kind of machine costs
// more than all else a command does; so a released large block is kept, poisoned, and handed
// out again for a block of the same size and alignment, but only after `distance` other large
// blocks were released since: a use after release still hits poisoned memory, as it would in
// the sanitizer's quarantine. Of the blocks that may be handed out, the one released last goes
// first, so that few blocks stay in use and they stay in the processor's cache. Overflows hit the block's redzones as before. Blocks come from
// the sanitizer's posix_memalign, so the one check lost is that of new against free (the tool
// frees nothing with free).
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>

#include <sanitizer/allocator_interface.h>
#include <sanitizer/asan_interface.h>

namespace {
constexpr std::size_t largeBlock = 128 * 1024;
constexpr std::size_t distance = 16;
constexpr std::size_t kept = 64;
// What the sanitizer fills the start of a new block with.
constexpr std::size_t filledStart = 4096;

struct Block {
    void* bytes;
    std::size_t size;
    std::size_t alignment;
};

std::deque<Block>& released() {
    static auto* blocks = new std::deque<Block>;  // lives as long as the blocks in it
    return *blocks;
}

void* recycled(std::size_t size, std::size_t alignment) {
    std::deque<Block>& blocks = released();
    for (std::size_t k = blocks.size() - std::min(blocks.size(), distance); k-- > 0;) {
        if (blocks[k].size != size || blocks[k].alignment != alignment) continue;
        void* bytes = blocks[k].bytes;
        blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(k));
        ASAN_UNPOISON_MEMORY_REGION(bytes, size);
        std::memset(bytes, 0xBE, filledStart);
        return bytes;
    }
    return nullptr;
}

void* allocate(std::size_t size, std::size_t alignment) {
    void* bytes = size >= largeBlock ? recycled(size, alignment) : nullptr;
    if (bytes) return bytes;
    if (posix_memalign(&bytes, alignment, size == 0 ? 1 : size) != 0) throw std::bad_alloc();
    return bytes;
}

void release(void* bytes, std::size_t alignment) {
    if (!bytes) return;
    const std::size_t size = __sanitizer_get_allocated_size(bytes);
    if (size < largeBlock) return std::free(bytes);
    ASAN_POISON_MEMORY_REGION(bytes, size);
    std::deque<Block>& blocks = released();
    blocks.push_back({bytes, size, alignment});
    if (blocks.size() <= kept) return;
    ASAN_UNPOISON_MEMORY_REGION(blocks.front().bytes, blocks.front().size);
    std::free(blocks.front().bytes);
    blocks.pop_front();
}
}  // namespace

// Every form of new and delete that can meet one of these blocks.
// Every form of new and delete that can meet one of these blocks.
void* operator new(std::size_t size) { return allocate(size, alignof(std::max_align_t)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    void* bytes = nullptr;
    return posix_memalign(&bytes, alignof(std::max_align_t), size == 0 ? 1 : size) == 0 ? bytes : nullptr;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void operator delete(void* bytes) noexcept { release(bytes, alignof(std::max_align_t)); }
void operator delete(void* bytes, std::size_t) noexcept { release(bytes, alignof(std::max_align_t)); }
void operator delete(void* bytes, const std::nothrow_t&) noexcept { release(bytes, alignof(std::max_align_t)); }
void operator delete[](void* bytes, std::align_val_t alignment) noexcept {
    release(bytes, static_cast<std::size_t>(alignment));
}
