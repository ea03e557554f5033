#include "support/ExpectedHexLines.h"

#include <algorithm>
#include <cstdio>

std::string ExpectedHexLines::line(std::uint64_t position, const std::uint8_t* bytes) {
    char piece[32];
    const unsigned high = static_cast<unsigned>(position >> 32);
    const unsigned low = static_cast<unsigned>(position & 0xFFFFFFFFu);
    if (high != 0)
        std::snprintf(piece, sizeof piece, "%X%08X  ", high, low);
    else
        std::snprintf(piece, sizeof piece, "%08X  ", low);
    std::string text = piece;
    for (int k = 0; k < 16; ++k) {
        std::snprintf(piece, sizeof piece, k == 7 ? "%02X  " : "%02X ", bytes[k]);
        text += piece;
    }
    text += ' ';
    for (int k = 0; k < 16; ++k) text += bytes[k] < 0x20 ? '.' : static_cast<char>(bytes[k]);
    return text + "\n";
}

std::string ExpectedHexLines::lines(std::uint64_t position, const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (std::size_t k = 0; k + 16 <= bytes.size(); k += 16) text += line(position + k, bytes.data() + k);
    return text;
}

std::vector<std::uint8_t> ExpectedHexLines::swapped(std::vector<std::uint8_t> bytes) {
    for (std::size_t k = 0; k + 4 <= bytes.size(); k += 4) std::reverse(bytes.begin() + k, bytes.begin() + k + 4);
    return bytes;
}
