#include "FuzzDrive.h"

#include <algorithm>
#include <cstring>

void FuzzDrive::note(std::uint64_t position, std::uint64_t length) {
    const std::uint64_t end = std::min<std::uint64_t>(position + length, base.size());
    if (position < end) touched.emplace_back(position, end);
}

void FuzzDrive::put(std::uint64_t position, const std::uint8_t* bytes, std::size_t length) {
    note(position, length);
    std::memcpy(actual.data() + position, bytes, length);
    std::memcpy(expected.data() + position, bytes, length);
}

void FuzzDrive::expect(std::uint64_t position, const std::string& bytes) {
    note(position, bytes.size());
    std::memcpy(expected.data() + position, bytes.data(), bytes.size());
}

void FuzzDrive::noteWrites(const WatchedPlatform& platform) {
    for (const WatchedPlatform::Transfer& transfer : platform.transfers())
        if (transfer.write) note(transfer.position, transfer.length);
}

bool FuzzDrive::matches(std::uint64_t end) const {
    for (const auto& range : touched) {
        const std::uint64_t last = std::min(range.second, end);
        if (range.first < last && std::memcmp(actual.data() + range.first, expected.data() + range.first,
                                              last - range.first) != 0)
            return false;
    }
    return true;
}

void FuzzDrive::reset() {
    // A command's writes and the changes expected of it mostly cover the same ranges.
    std::sort(touched.begin(), touched.end());
    std::uint64_t restored = 0;
    for (auto range : touched) {
        range.first = std::max(range.first, restored);
        if (range.first >= range.second) continue;
        restored = range.second;
        std::memcpy(actual.data() + range.first, base.data() + range.first, range.second - range.first);
        std::memcpy(expected.data() + range.first, base.data() + range.first, range.second - range.first);
    }
    touched.clear();
}
