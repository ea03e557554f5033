#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzDisks.h"
#include "FuzzDrive.h"

// How the table fuzz target reads its input as a recorder disk of 12 clusters. The base is a
// freshly formatted disk (data clusters 6 to 11 free, every other entry EndOfChain, no slot
// used) whose data clusters are full of the 32-bit word 3, which reads as a record that is
// skipped wherever a rip stands (a zero disk would make every rip scan it for a record id in
// 4-byte steps). The input, as far as it goes, changes it in this order:
//   1 byte          the choice: bits 0-2 the slot the commands work on, bits 3-7 all set a
//                   crowded directory (every 16th slot, 15 to 4095, holds a recording with an
//                   empty chain: 256 more lines of list, the directory's last slot among them;
//                   one input in 32)
//   16 x 4 bytes    the table entries of clusters 0 to 15 (12 to 15 lie past the drive's end)
//   8 x 21 bytes    directory slots 0 to 7: the name's first four bytes (all zero: a free
//                   slot), its length, then the first cluster, start offset, size in MiB and
//                   remainder, as BackupInput makes an entry
//   5 bytes each    records in the data clusters: data cluster 6 + (byte % 6), then a run as
//                   StreamInput reads it, put behind the cluster's runs before it
// Words are stored least significant byte first. Every other byte of the disk stays as the
// base has it.
class TableInput {
public:
    static constexpr std::int32_t clusterCount = FuzzDisks::clusterCount;
    static constexpr std::int32_t mappedEntries = 16;
    static constexpr std::int32_t mappedSlots = 8;
    static constexpr std::size_t slotSize = 21;
    static constexpr std::size_t headerSize = 1 + 4 * mappedEntries + slotSize * mappedSlots;
    static constexpr std::uint8_t crowdedDirectoryBits = 0xF8;

    // Makes the drive (on the base) the drive the input describes; the result is the slot its
    // commands work on.
    static std::int32_t fill(FuzzDrive& drive, const std::uint8_t* data, std::size_t size);
    // The input that describes the table and slots of a drive of the same size, and the given
    // runs of records (cluster byte and item each), for seeds.
    static std::string input(const std::vector<std::uint8_t>& drive, std::int32_t slot, bool crowdedDirectory,
                             const std::string& runs);
    // The base: the formatted drive with the signature.
    static const std::vector<std::uint8_t>& formattedDrive();

    // Where the mapped parts lie on the drive.
    static std::uint64_t entryPosition(std::int32_t cluster) { return 512 + 4 * std::uint64_t(cluster); }
    static std::uint64_t slotPosition(std::int32_t slot) { return (5u << 20) + 256 * std::uint64_t(slot); }
};
