#pragma once

#include <cstdint>

// 32-bit values stored least significant byte first, as the allocation table and the
// integer words of directory entries hold them, whatever the byte order of the host.
// Inline: table scans and the search for a record id call them once per word.
class LittleEndian {
public:
    static std::uint32_t load32(const std::uint8_t* bytes) {
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
               std::uint32_t{bytes[3]} << 24;
    }
    static void store32(std::uint8_t* bytes, std::uint32_t value) {
        for (int k = 0; k < 4; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
    }
};
