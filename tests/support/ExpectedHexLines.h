#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Dump lines as the tests expect them, composed with printf-style formatting on their own so
// that the tool's formatter is never checked against itself.
class ExpectedHexLines {
public:
    static std::string line(std::uint64_t position, const std::uint8_t* bytes);
    static std::string lines(std::uint64_t position, const std::vector<std::uint8_t>& bytes);
    // Every 4-byte group reversed, as the recorder's big-endian words are shown by default.
    static std::vector<std::uint8_t> swapped(std::vector<std::uint8_t> bytes);
};
