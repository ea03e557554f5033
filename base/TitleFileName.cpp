#include "base/TitleFileName.h"

#include <cstring>

namespace {
bool isUnsafe(unsigned char byte) {
    return byte < 0x20 || (byte >= 0x7F && byte < 0xA0) || std::strchr("\\/:*?\"<>|", byte) != nullptr;
}

bool continuesCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Windows drops them from a name's end, so a name must not end in them.
void dropTrailingDotsAndSpaces(std::string& text) {
    const std::size_t end = text.find_last_not_of(". ");
    text.resize(end == std::string::npos ? 0 : end + 1);
}
}  // namespace

std::string TitleFileName::make(const std::string& prefix, const std::string& title, std::size_t suffixBytes) {
    std::string safe;
    for (const char c : title) {
        const auto byte = static_cast<unsigned char>(c);
        if (isUnsafe(byte)) {
            safe += '_';
        } else if (byte < 0x80) {
            safe += c;
        } else {
            safe += static_cast<char>(0xC0 | byte >> 6);
            safe += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    dropTrailingDotsAndSpaces(safe);
    const std::size_t taken = prefix.size() + 1 + suffixBytes;
    std::size_t room = taken < maxNameBytes ? maxNameBytes - taken : 0;
    if (safe.size() > room) {
        while (room > 0 && continuesCharacter(safe[room])) --room;
        safe.resize(room);
        dropTrailingDotsAndSpaces(safe);
    }
    return safe.empty() ? prefix : prefix + " " + safe;
}

