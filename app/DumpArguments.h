#pragma once

#include <cstdint>

// The words of the dump command. Both numbers are hexadecimal with an optional "0x" in front,
// and their reading stops at the first character that is no hexadecimal digit.
class DumpArguments {
public:
    static constexpr std::uint32_t defaultLength = 512;

    // The start position. Of more than 8 characters (after the prefix) the last 8 give the
    // low half and the ones before them the high half. Refused (false) when the word, or
    // either half of a long word, does not begin with a hexadecimal digit, and when more than
    // 16 characters follow the prefix: such a word names no position.
    static bool parseStart(const char* word, std::uint64_t* position);
    // The length in bytes. A word without hexadecimal digits gives the default; a value beyond
    // 32 bits gives the largest length, which dumps up to the end of the disk.
    static std::uint32_t parseLength(const char* word);

private:
    static const char* skipPrefix(const char* word);
    static bool readHalf(const char* text, std::uint32_t characters, std::uint32_t* value);
};
