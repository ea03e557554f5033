#include "StreamInput.h"

#include <algorithm>
#include <vector>

#include "support/BackupBytes.h"
#include "support/RecordStream.h"

namespace {
constexpr std::uint32_t ids[] = {1, 2, 3, 4, 10, 0, 77, 2};
constexpr std::uint8_t rawBytes = 7;

const std::string& payload(std::size_t item) {
    static const std::vector<std::string> payloads = [] {
        std::vector<std::string> made;
        for (unsigned seed = 0; seed < 8; ++seed) made.push_back(RecordStream::payload(seed));
        return made;
    }();
    return payloads[item % payloads.size()];
}

// Few records for most values (each costs its bytes in every rip and load), up to 128 for the
// highest, so that a file of two clusters stays in reach.
unsigned countOf(std::uint8_t value) { return value < 248 ? 1 + value % 8 : 16 * (value - 247u); }

void addRecords(const std::uint8_t* item, std::size_t index, std::size_t limit, std::string& stream) {
    const std::size_t start = stream.size();
    for (unsigned k = 0, count = countOf(item[1]); k < count && (k == 0 || stream.size() < limit); ++k) {
        stream += BackupBytes::word(ids[item[0] & 7]);
        stream += payload(index + k);
    }
    if (item[3] != 0) stream.replace(start + 4 + 4 * std::size_t(item[3] >> 3), 4, BackupBytes::word(ids[item[3] & 7]));
    stream.resize(stream.size() - std::size_t(item[2]) * item[2] / 8);
}
}  // namespace

void StreamInput::expand(const std::uint8_t* items, std::size_t size, std::size_t limit, std::string& stream) {
    for (std::size_t index = 0; index + itemSize <= size && stream.size() < limit; index += itemSize) {
        const std::uint8_t* item = items + index;
        if ((item[0] & 7) == rawBytes)
            stream.append(std::size_t(item[1]) + 1, static_cast<char>(item[3]));
        else
            addRecords(item, index / itemSize, limit, stream);
    }
}

std::string StreamInput::item(std::uint8_t kind, unsigned count, std::uint8_t cut, std::uint8_t mark) {
    unsigned value = kind == rawBytes ? count - 1 : 0;
    while (kind != rawBytes && value < 255 && countOf(static_cast<std::uint8_t>(value)) < count) ++value;
    return std::string{static_cast<char>(kind), static_cast<char>(value), static_cast<char>(cut),
                       static_cast<char>(mark)};
}
