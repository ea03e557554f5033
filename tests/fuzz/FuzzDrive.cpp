#include "FuzzDrive.h"

#include <algorithm>
#include <cstring>

void FuzzDrive::note(Ranges& ranges, std::uint64_t position, std::uint64_t length) const {
    const std::uint64_t end = std::min<std::uint64_t>(position + length, base.size());
    if (position < end) ranges.emplace_back(position, end);
}

void FuzzDrive::put(std::uint64_t position, const std::uint8_t* bytes, std::size_t length) {
    note(actualChanges, position, length);
    note(expectedChanges, position, length);
    std::memcpy(actual.data() + position, bytes, length);
    std::memcpy(expected.data() + position, bytes, length);
}

void FuzzDrive::expect(std::uint64_t position, const std::string& bytes) {
    note(expectedChanges, position, bytes.size());
    std::memcpy(expected.data() + position, bytes.data(), bytes.size());
}

void FuzzDrive::noteWrites(const WatchedPlatform& platform) {
    for (const WatchedPlatform::Transfer& transfer : platform.transfers())
        if (transfer.write) note(actualChanges, transfer.position, transfer.length);
}

bool FuzzDrive::matches(std::uint64_t end) const { return matches(actualChanges, end) && matches(expectedChanges, end); }

bool FuzzDrive::matches(const Ranges& ranges, std::uint64_t end) const {
    for (const auto& range : ranges) {
        const std::uint64_t last = std::min(range.second, end);
        if (range.first < last && std::memcmp(actual.data() + range.first, expected.data() + range.first,
                                              last - range.first) != 0)
            return false;
    }
    return true;
}

void FuzzDrive::reset() {
    restore(actualChanges, actual);
    restore(expectedChanges, expected);
}

void FuzzDrive::restore(Ranges& ranges, std::vector<std::uint8_t>& drive) {
    // A command's writes and an input's changes often cover the same ranges more than once.
    std::sort(ranges.begin(), ranges.end());
    std::uint64_t restored = 0;
    for (auto range : ranges) {
        range.first = std::max(range.first, restored);
        if (range.first >= range.second) continue;
        restored = range.second;
        std::memcpy(drive.data() + range.first, base.data() + range.first, range.second - range.first);
    }
    ranges.clear();
}
