#include "disk/HexLines.h"

namespace {
const char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string* text, std::uint64_t value, int minimumDigits) {
    char digits[16];
    int count = 0;
    do {
        digits[count++] = hexDigits[value & 0xF];
        value >>= 4;
    } while (value != 0 || count < minimumDigits);
    while (count > 0) text->push_back(digits[--count]);
}

void appendPosition(std::string* text, std::uint64_t position) {
    const std::uint32_t high = static_cast<std::uint32_t>(position >> 32);
    if (high != 0) appendHex(text, high, 1);
    appendHex(text, static_cast<std::uint32_t>(position), 8);
}
}  // namespace

std::string HexLines::positionText(std::uint64_t position) {
    std::string text;
    appendPosition(&text, position);
    return text;
}

void HexLines::appendLine(std::string* text, const std::uint8_t* bytes, std::uint64_t position) {
    appendPosition(text, position);
    // The rest of the line is made in place and appended at once: a dump runs to millions of lines.
    char line[2 + 3 * bytesPerLine + 1 + 1 + bytesPerLine + 1];
    std::size_t end = 0;
    line[end++] = ' ';
    line[end++] = ' ';
    for (std::uint32_t k = 0; k < bytesPerLine; ++k) {
        line[end++] = hexDigits[bytes[k] >> 4];
        line[end++] = hexDigits[bytes[k] & 0xF];
        line[end++] = ' ';
        if (k == 7) line[end++] = ' ';
    }
    line[end++] = ' ';
    for (std::uint32_t k = 0; k < bytesPerLine; ++k) line[end++] = bytes[k] < 0x20 ? '.' : static_cast<char>(bytes[k]);
    line[end++] = '\n';
    text->append(line, end);
}

void HexLines::formatHexLines(std::string* text, const std::uint8_t* bytes, std::uint32_t length,
                              std::uint64_t position) {
    text->clear();
    // The position carries into the high half, so lines running past 4 GiB stay correct.
    // k never exceeds the length, so the rest length cannot wrap.
    for (std::uint32_t k = 0; length - k >= bytesPerLine; k += bytesPerLine)
        appendLine(text, bytes + k, position + k);
}

void HexLines::writeHexLines(std::FILE* stream, const std::uint8_t* bytes, std::uint32_t length,
                             std::uint64_t position) {
    std::string line;
    line.reserve(128);
    for (std::uint32_t k = 0; length - k >= bytesPerLine; k += bytesPerLine) {
        line.clear();
        appendLine(&line, bytes + k, position + k);
        std::fwrite(line.data(), 1, line.size(), stream);
    }
}
