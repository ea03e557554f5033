#pragma once

#include <cstdint>
#include <cstring>

// 32-bit values stored least significant byte first, as the allocation table and the
// integer words of directory entries hold them, whatever the byte order of the host.
// Inline, and on a little-endian host one 4-byte access: table scans and the search for a
// record id call them once per word.
class LittleEndian {
public:
    static std::uint32_t load32(const std::uint8_t* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::uint32_t value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
#else
        return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
               std::uint32_t{bytes[3]} << 24;
#endif
    }
    static void store32(std::uint8_t* bytes, std::uint32_t value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(bytes, &value, sizeof value);
#else
        for (int k = 0; k < 4; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
#endif
    }
};
