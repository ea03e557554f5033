#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How the command fuzz target reads its input as a command line: words separated by zero
// bytes, at most maxWords of them (the rest of the input is dropped). A path separator ('/'
// or '\\') in a word becomes '_', so that every file a word names lies in the current folder.
class CommandWords {
public:
    static constexpr std::size_t maxWords = 6;

    static std::vector<std::string> split(const std::uint8_t* data, std::size_t size);
    // The input that gives these words, for seeds.
    static std::string join(const std::vector<std::string>& words);
};
