#pragma once

#include <cstdint>
#include <string>
#include <vector>

// printf-style composition into a string of whatever length the values need, so that a
// long path or name can never overflow a fixed message buffer.
class TextFormat {
public:
    static std::string format(const char* pattern, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
    // The text with each control byte (0x00 to 0x1F and 0x7F) shown as "?" and every other byte
    // kept: names come from the disk, and a line end or an escape sequence in one must neither
    // forge lines of the output nor reach the terminal.
    static std::string printable(std::string text);
    // "8, 6, 12": the first ten numbers, then " und <n> weitere" for the rest.
    static std::string numberList(const std::vector<std::int64_t>& numbers);
};
