#pragma once

#include <cstdint>

// 32-bit values stored least significant byte first, as the allocation table and the
// integer words of directory entries hold them, whatever the byte order of the host.
class LittleEndian {
public:
    static std::uint32_t load32(const std::uint8_t* bytes);
    static void store32(std::uint8_t* bytes, std::uint32_t value);
};
