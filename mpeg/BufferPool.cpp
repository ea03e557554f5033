#include "mpeg/BufferPool.h"

std::shared_ptr<BufferPool::Block> BufferPool::take(std::size_t size) {
    if (size > blockSize) return std::make_shared<Block>(size);
    for (const std::shared_ptr<Block>& block : blocks)
        if (block.use_count() == 1) return block;
    auto block = std::make_shared<Block>(blockSize);
    if (blocks.size() < kept) blocks.push_back(block);
    return block;
}
