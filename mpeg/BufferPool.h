#pragma once

#include <cstdint>
#include <vector>

// Byte vectors handed back and out again, so that units of a long stream reuse the memory of
// earlier ones instead of mapping fresh pages for each.
class BufferPool {
public:
    std::vector<std::uint8_t> take() {
        if (spare.empty()) return std::vector<std::uint8_t>();
        std::vector<std::uint8_t> bytes;
        bytes.swap(spare.back());
        spare.pop_back();
        bytes.clear();
        return bytes;
    }
    void give(std::vector<std::uint8_t>& bytes) {
        if (spare.size() < kept && bytes.capacity() > 0) {
            spare.emplace_back();
            spare.back().swap(bytes);
        }
        std::vector<std::uint8_t>().swap(bytes);
    }

private:
    static constexpr std::size_t kept = 8;
    std::vector<std::vector<std::uint8_t>> spare;
};
