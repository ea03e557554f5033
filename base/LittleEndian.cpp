#include "base/LittleEndian.h"

std::uint32_t LittleEndian::load32(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

void LittleEndian::store32(std::uint8_t* bytes, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
}
