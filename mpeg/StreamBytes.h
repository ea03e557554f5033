#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "mpeg/BufferPool.h"
#include "mpeg/UnitBytes.h"

// The bytes of a stream that a parser still works on, from the start of its open unit up to
// the last byte fed, in a block of the pool. Bytes are written where they stay: a finished
// unit leaves as a range of the block, and only the open part moves, when the block is full.
class StreamBytes {
public:
    explicit StreamBytes(BufferPool& pool) : pool(pool) {}

    const std::uint8_t* data() const { return block ? block->bytes.get() + begin : nullptr; }
    std::uint8_t operator[](std::size_t index) const { return block->bytes[begin + index]; }
    std::size_t size() const { return end - begin; }

    // Room for `length` more bytes at the end, to be written there; they count at once.
    std::uint8_t* extend(std::size_t length);
    // The first `count` bytes are done with.
    void dropFront(std::size_t count) { begin += count; }
    void clear() { begin = end; }
    // `length` bytes from `offset` on, as a unit's (they stay here too until dropped).
    UnitBytes share(std::size_t offset, std::size_t length) const { return UnitBytes(block, begin + offset, length); }

private:
    BufferPool& pool;
    std::shared_ptr<BufferPool::Block> block;
    std::size_t begin = 0;
    std::size_t end = 0;
};
