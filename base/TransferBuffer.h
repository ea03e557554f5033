#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// Memory for disk and file transfers, aligned to a memory page. The system copies between its
// caches and such memory at full speed; a large block from the general heap lies a few bytes
// off a cache line, which halves the speed of every read into it.
class TransferBuffer {
public:
    struct Release {
        void operator()(std::uint8_t* bytes) const;
    };
    using Pointer = std::unique_ptr<std::uint8_t[], Release>;

    static constexpr std::size_t alignment = 4096;

    // `size` bytes, not initialised.
    static Pointer allocate(std::size_t size);
};
