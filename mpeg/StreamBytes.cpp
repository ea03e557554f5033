#include "mpeg/StreamBytes.h"

#include <cstring>

std::uint8_t* StreamBytes::extend(std::size_t length) {
    if (!block || block->size - end < length) {
        std::shared_ptr<BufferPool::Block> next = pool.take(size() + length);
        if (size() > 0) std::memcpy(next->bytes.get(), block->bytes.get() + begin, size());
        end = size();
        begin = 0;
        block = std::move(next);
    }
    std::uint8_t* room = block->bytes.get() + end;
    end += length;
    return room;
}
