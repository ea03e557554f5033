#include "mpeg/BufferPool.h"

#include <algorithm>

std::shared_ptr<BufferPool::Block> BufferPool::take(std::size_t size) {
    for (const std::shared_ptr<Block>& block : blocks)
        if (block.use_count() == 1 && block->size >= size) return block;
    auto block = std::make_shared<Block>(std::max(size, nextSize));
    nextSize = std::min(2 * nextSize, largestBlock);
    if (block->size <= largestBlock && blocks.size() < kept) blocks.push_back(block);
    return block;
}
