#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Blocks of memory for the bytes of the streams: a stream's bytes are written into a block as
// they come, and its units stay there as ranges of it (UnitBytes) until they are written out.
// A block is used again once nothing refers to it any more, so that a long stream neither maps
// fresh pages for each block nor holds more blocks than its waiting units fill. The first blocks
// are small, so that a short stream takes little memory; each new one is twice the size of the
// one before, up to the largest.
class BufferPool {
public:
    static constexpr std::size_t smallestBlock = 64 * 1024;
    static constexpr std::size_t largestBlock = 512 * 1024;

    struct Block {
        explicit Block(std::size_t size) : bytes(new std::uint8_t[size]), size(size) {}
        std::unique_ptr<std::uint8_t[]> bytes;  // not initialised
        const std::size_t size;
    };

    // A block of at least `size` bytes that nothing else refers to.
    std::shared_ptr<Block> take(std::size_t size);

private:
    static constexpr std::size_t kept = 16;
    std::vector<std::shared_ptr<Block>> blocks;  // of up to largestBlock bytes, in use or free
    std::size_t nextSize = smallestBlock;
};
