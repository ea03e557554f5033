#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How the backup-file fuzz target reads its input as a backup file:
//   byte 0       the header: below 128 the right one; 128 to 155 the right one with byte
//                (value - 128) changed; from 156 the file ends after (value - 156) % 28 of its bytes
//   byte 1       below 64: the file ends 4 * value bytes into the entry; from 128 on the
//                load goes to the disk with one free cluster instead of three
//   bytes 2-5    the name's first four bytes (all zero: the entry reads as a free slot)
//   byte 6       the name's length, 4 to 212 (212: no terminator); its other bytes are letters
//   bytes 7-10   the start offset
//   byte 11      even: the size is the stream's length plus bytes 12-13 (signed); odd: bytes
//                12-15 are the size in MiB and bytes 16-19 the remainder
//   bytes 20-23  the first cluster
//   from 24 on   the stream behind the entry, as StreamInput reads it (up to a little over 1 MiB:
//                a file of two clusters fills two of the three free clusters, or runs out of
//                space half way on the disk with one)
// Words are stored least significant byte first.
class BackupInput {
public:
    static constexpr std::size_t headerSize = 24;

    // The backup file's bytes into `file` (whose memory is kept from input to input).
    static void expand(const std::uint8_t* data, std::size_t size, std::string& file);
    // Whether the input's load goes to the disk with one free cluster.
    static bool toOneFreeCluster(const std::uint8_t* data, std::size_t size) { return size > 1 && data[1] >= 128; }
    // An entry as a backup file holds it: the name's first four bytes, then letters up to the
    // length (4 to 212), and the words.
    static std::string entryImage(const std::uint8_t* name, std::uint8_t nameLength, std::uint32_t firstCluster,
                                  std::uint32_t startOffset, std::uint32_t sizeMiB, std::uint32_t remainder);
};
