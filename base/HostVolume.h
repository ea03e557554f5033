#pragma once

#include <cstdint>

// The file system of the current folder, as far as files written there care: the bytes it
// still takes from this user, and the largest file it holds (4 GiB - 1 on FAT).
class HostVolume {
public:
    static constexpr std::uint64_t anySize = UINT64_MAX;
    static constexpr std::uint64_t fatLargestFile = 0xFFFFFFFFu;

    // Asks the system; a question it cannot answer leaves free space and file size unlimited.
    static HostVolume currentFolder();

    std::uint64_t freeBytes() const { return free; }
    std::uint64_t largestFile() const { return largest; }

private:
    std::uint64_t free = anySize;
    std::uint64_t largest = anySize;
};
