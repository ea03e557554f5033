#pragma once

#include <cstdint>

// Finds the prefix 00 00 01 of MPEG start codes. Coded pictures hold a byte 01 every few
// hundred bytes and long runs of zero stuffing; the scan looks at many bytes at a time for a
// 01 behind two zeros, so that neither costs a step of its own.
class StartCodeScan {
public:
    // The first start code (prefix and code byte) that lies whole within [from, end), or nullptr
    // when there is none.
    static const std::uint8_t* find(const std::uint8_t* from, const std::uint8_t* end);
};
