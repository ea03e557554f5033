#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzDisks.h"

// How the table fuzz target reads its input as a recorder disk of 12 clusters. The base is a
// freshly formatted disk (data clusters 6 to 11 free, every other entry EndOfChain, no slot
// used) whose data clusters are full of the 32-bit word 3, which reads as a record that is
// skipped wherever a rip stands (a zero disk would make every rip scan it for a record id in
// 4-byte steps). The input, as far as it goes, replaces in this order:
//   1 byte          the choice: bits 0-2 the slot the commands work on, bit 3 a full
//                   directory (slots 8 to 4095 hold recordings with an empty chain)
//   16 x 4 bytes    the table entries of clusters 0 to 15 (12 to 15 lie past the drive's end)
//   8 x 256 bytes   directory slots 0 to 7, as the disk holds them
//   6 x 32784 bytes the first four records' worth of data clusters 6 to 11
// Every other byte of the disk stays as the base has it.
class TableInput {
public:
    static constexpr std::int32_t clusterCount = FuzzDisks::clusterCount;
    static constexpr std::int32_t mappedEntries = 16;
    static constexpr std::int32_t mappedSlots = 8;
    static constexpr std::size_t dataPiece = 4 * 8196;
    static constexpr std::size_t headerSize = 1 + 4 * mappedEntries + 256 * mappedSlots;

    // Makes `drive` the drive the input describes; the result is the slot its commands work on.
    static std::int32_t fill(std::vector<std::uint8_t>& drive, const std::uint8_t* data, std::size_t size);
    // The input that describes the mapped parts of a drive of the same size, for seeds.
    static std::string input(const std::vector<std::uint8_t>& drive, std::int32_t slot, bool fullDirectory);
    // The base: the formatted drive with the signature.
    static const std::vector<std::uint8_t>& formattedDrive();

    // Where the mapped parts lie on the drive.
    static std::uint64_t entryPosition(std::int32_t cluster) { return 512 + 4 * std::uint64_t(cluster); }
    static std::uint64_t slotPosition(std::int32_t slot) { return (5u << 20) + 256 * std::uint64_t(slot); }
};
