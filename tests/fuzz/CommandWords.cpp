#include "CommandWords.h"

std::vector<std::string> CommandWords::split(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> words;
    if (size == 0) return words;
    words.emplace_back();
    for (std::size_t k = 0; k < size; ++k) {
        const char c = static_cast<char>(data[k]);
        if (c != '\0') {
            words.back() += c == '/' || c == '\\' ? '_' : c;
            continue;
        }
        if (words.size() == maxWords) break;
        words.emplace_back();
    }
    return words;
}

std::string CommandWords::join(const std::vector<std::string>& words) {
    std::string input;
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (k > 0) input += '\0';
        input += words[k];
    }
    return input;
}
