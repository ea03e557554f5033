#pragma once

#include <cstdint>
#include <string>

// Backup files and cluster contents composed byte by byte for the transfer tests, without the
// tool's own constants.
class BackupBytes {
public:
    // The 28-byte header: "velmoran hd V1.02 / vlm 1.0" and its zero byte.
    static std::string header();
    // Reverses every 4-byte group of the name field: an entry image becomes the slot as the
    // disk holds it, and a slot from the disk becomes its entry image.
    static std::string swappedName(std::string bytes);
    static std::string entry(const std::string& name, std::int32_t firstCluster, std::uint32_t sizeMiB,
                             std::uint32_t sizeRemainder);
    // 1 MiB whose bytes differ from seed to seed.
    static std::string cluster(std::int32_t seed);
    // The four bytes of a little-endian word.
    static std::string word(std::uint32_t value);
};
