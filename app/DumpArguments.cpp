#include "app/DumpArguments.h"

#include <cstring>

namespace {
constexpr std::uint32_t halfDigits = 8;

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
}  // namespace

const char* DumpArguments::skipPrefix(const char* word) {
    if (word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) return word + 2;
    return word;
}

bool DumpArguments::readHalf(const char* text, std::uint32_t characters, std::uint32_t* value) {
    if (characters == 0 || hexDigitValue(text[0]) < 0) return false;
    std::uint32_t result = 0;
    for (std::uint32_t k = 0; k < characters && hexDigitValue(text[k]) >= 0; ++k)
        result = result * 16 + static_cast<std::uint32_t>(hexDigitValue(text[k]));
    *value = result;
    return true;
}

bool DumpArguments::parseStart(const char* word, std::uint64_t* position) {
    const char* digits = skipPrefix(word);
    const std::size_t count = std::strlen(digits);
    if (count == 0 || count > 2 * halfDigits) return false;
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (count <= halfDigits) {
        if (!readHalf(digits, static_cast<std::uint32_t>(count), &low)) return false;
    } else {
        const std::uint32_t highCount = static_cast<std::uint32_t>(count - halfDigits);
        if (!readHalf(digits, highCount, &high) || !readHalf(digits + highCount, halfDigits, &low)) return false;
    }
    *position = (std::uint64_t{high} << 32) | low;
    return true;
}

std::uint32_t DumpArguments::parseLength(const char* word) {
    const char* digits = skipPrefix(word);
    if (hexDigitValue(digits[0]) < 0) return defaultLength;
    constexpr std::uint64_t largest = 0xFFFFFFFFu;
    std::uint64_t value = 0;
    for (const char* p = digits; hexDigitValue(*p) >= 0; ++p) {
        value = value * 16 + static_cast<std::uint64_t>(hexDigitValue(*p));
        if (value > largest) return static_cast<std::uint32_t>(largest);
    }
    return static_cast<std::uint32_t>(value);
}
