#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The small recorder disks and host files the fuzz targets run on, built once per process
// with the tests' own builders.
class FuzzDisks {
public:
    static constexpr std::int32_t clusterCount = 12;

    // A zero drive of clusterCount MiB with the recorder's signature.
    static std::vector<std::uint8_t> signedDrive();
    // For loads: slot 0 on the chain 8, 6 and slot 2 on cluster 11; slot 1 and clusters 7, 9
    // and 10 free (11 ends a chain at the top of the table, so it does not count as free). With
    // one free cluster, slot 3 holds the chain 10, 9 as well and only cluster 7 is free.
    static const std::vector<std::uint8_t>& loadDisk(bool oneFreeCluster);
    // For whole command lines: a movie in slot 0 on the chain 9, 6, an audio recording in slot 1
    // on cluster 8, an empty recording in slot 3; clusters 7, 10 and 11 free.
    static const std::vector<std::uint8_t>& commandDisk();
    // The files the command lines find in their folder: a backup file "film.vlm", a damaged
    // one "kaputt.vlm" and an image "Velmoran.img" that ends inside a sector.
    static const std::map<std::string, std::string>& commandFiles();
    // A few records of every kind (video, audio, 3, 4, 10) with a damaged one among them.
    static std::string recordsOfEveryKind(unsigned seed);

    // A 32-bit value stored least significant byte first, read straight from a drive's bytes.
    static std::uint32_t littleEndian(const std::uint8_t* bytes);
    static std::string bytesOf(const std::vector<std::uint8_t>& drive, std::size_t position, std::size_t length);
};
