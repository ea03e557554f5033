#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#include "mpeg/BufferPool.h"

// The bytes of one unit: a range of a pool's block, which stays in use as long as the range is
// held. Moving a unit's bytes leaves the source empty.
class UnitBytes {
public:
    UnitBytes() = default;
    UnitBytes(std::shared_ptr<BufferPool::Block> block, std::size_t offset, std::size_t size)
        : block(std::move(block)), offset(offset), length(size) {}
    UnitBytes(UnitBytes&& other) noexcept { swap(other); }
    UnitBytes& operator=(UnitBytes&& other) noexcept {
        UnitBytes(std::move(other)).swap(*this);
        return *this;
    }

    const std::uint8_t* data() const { return block ? block->bytes.get() + offset : nullptr; }
    std::size_t size() const { return length; }
    bool empty() const { return length == 0; }
    void swap(UnitBytes& other) noexcept {
        block.swap(other.block);
        std::swap(offset, other.offset);
        std::swap(length, other.length);
    }

private:
    std::shared_ptr<BufferPool::Block> block;
    std::size_t offset = 0;
    std::size_t length = 0;
};
