#pragma once

#include <cstddef>
#include <string>

// File names that carry a recording's title, safe on Windows and Linux alike.
class TitleFileName {
public:
    // What the file systems of both take for one name, in bytes of UTF-8 (Windows counts
    // UTF-16 units, never more than UTF-8 bytes).
    static constexpr std::size_t maxNameBytes = 255;

    // "<prefix> <title>": the title as Latin-1, written as UTF-8, with \ / : * ? " < > | and
    // every control byte (also 0x7F and 0x80 to 0x9F) as "_", without trailing dots and
    // spaces, and cut at a character's start so that the name with `suffixBytes` more bytes
    // behind it fits maxNameBytes. Just the prefix when nothing of the title is left.
    static std::string make(const std::string& prefix, const std::string& title, std::size_t suffixBytes);
};
