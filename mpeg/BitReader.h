#pragma once

#include <cstddef>
#include <cstdint>

// Reads the fields of a header bit by bit, most significant bit first. The caller makes sure
// that the bytes are there.
class BitReader {
public:
    explicit BitReader(const std::uint8_t* bytes) : bytes(bytes) {}

    std::uint32_t read(int count) {
        std::uint32_t value = 0;
        for (int k = 0; k < count; ++k, ++position)
            value = value << 1 | ((bytes[position / 8] >> (7 - position % 8)) & 1u);
        return value;
    }
    void skip(int count) { position += static_cast<std::size_t>(count); }

private:
    const std::uint8_t* bytes;
    std::size_t position = 0;
};
