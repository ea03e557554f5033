#pragma once

#include <string>

// printf-style composition into a string of whatever length the values need, so that a
// long path or name can never overflow a fixed message buffer.
class TextFormat {
public:
    static std::string format(const char* pattern, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 1, 2)))
#endif
        ;
};
