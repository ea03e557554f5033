#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Hexadecimal lines of 16 bytes each, as the dump and the drive report show them:
//   "00001200  00 01 02 03 04 05 06 07  08 09 0A 0B 0C 0D 0E 0F  ................\n"
// The position column is the low half as 8 digits, preceded by the high half without
// leading zeros from 4 GiB on. In the character column a byte below 0x20 is a "."; every
// other byte is written as it is.
class HexLines {
public:
    static constexpr std::uint32_t bytesPerLine = 16;

    // Makes text the lines of the whole 16-byte groups of the bytes (a shorter rest is not
    // shown), the first at the given position.
    static void formatHexLines(std::string* text, const std::uint8_t* bytes, std::uint32_t length,
                               std::uint64_t position);
    // The same lines, each written to the stream at once and unchanged.
    static void writeHexLines(std::FILE* stream, const std::uint8_t* bytes, std::uint32_t length,
                              std::uint64_t position);
    // The position as the position column writes it, without the blanks after it.
    static std::string positionText(std::uint64_t position);

private:
    static void appendLine(std::string* text, const std::uint8_t* bytes, std::uint64_t position);
};
