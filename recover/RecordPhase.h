#pragma once

#include <cstdint>
#include <vector>

// Where the records of a recording lie in one of its clusters. The records follow one another
// from the stream's start, so the first record boundary in the cluster at chain index i lies at
// (p0 - i * 1 MiB) mod 8196: 512 bytes further on (mod 8196) than in the cluster before, the
// phases repeating every 2049 clusters. A recording with start offset 0 has its first boundary
// at 0 in its first cluster.
class RecordPhase {
public:
    // What is read of a cluster's start to find its phase: two ids for every phase (three for
    // the phases up to 500), in whole sectors.
    static constexpr std::uint32_t headSize = 16896;

    // The phase of the next cluster of the chain.
    static std::uint32_t next(std::uint32_t phase);
    // The phase of the cluster `steps` clusters further on in the chain.
    static std::uint32_t after(std::uint32_t phase, std::uint64_t steps);
    // The last record boundary in a cluster of that phase.
    static std::uint32_t lastBoundary(std::uint32_t phase);

    // The phases at which every record that begins within the bytes has a valid id, at least two
    // of them, in ascending order: the bytes hold records there.
    static std::vector<std::uint32_t> phasesOf(const std::uint8_t* bytes, std::uint32_t length);
    // The first boundary of the phase, from the phase on, whose id is not valid or does not lie
    // within the bytes: behind the last record with a valid id.
    static std::uint32_t recordsEnd(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t phase);
    // Whether a record with a valid id begins at the position.
    static bool isRecordAt(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t position);
    // Whether a video record begins at a boundary of the phase before recordsEnd.
    static bool holdsVideo(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t phase);
    static bool isAllZero(const std::uint8_t* bytes, std::uint32_t length);
};
