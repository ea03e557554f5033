#include "base/TextFormat.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string TextFormat::format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), pattern, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::string TextFormat::printable(const std::string& text) {
    std::string shown(text);
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = '?';
    }
    return shown;
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
