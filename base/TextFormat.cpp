#include "base/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string TextFormat::format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    // A line fits the buffer on the stack; only a longer text is formatted a second time.
    char line[256];
    const int length = std::vsnprintf(line, sizeof line, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof line) {
        text.assign(line, static_cast<std::size_t>(length));
    } else if (length > 0) {
        text.resize(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(&text[0], text.size(), pattern, again);
        text.resize(static_cast<std::size_t>(length));
    }
    va_end(again);
    return text;
}

std::string TextFormat::printable(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return text;
}

std::string TextFormat::numberList(const std::vector<std::int64_t>& numbers) {
    constexpr std::size_t shown = 10;
    std::string text;
    for (std::size_t k = 0; k < numbers.size() && k < shown; ++k)
        text += format(k == 0 ? "%lld" : ", %lld", static_cast<long long>(numbers[k]));
    if (numbers.size() > shown)
        text += format(" und %llu weitere", static_cast<unsigned long long>(numbers.size() - shown));
    return text;
}
