#pragma once

#include <cstdint>

// The stream a recording's clusters hold: records of 8196 bytes back to back, each a 32-bit id
// (least significant byte first) and an 8192-byte payload whose 4-byte groups are stored in
// reverse order. Ids 1 (video), 2 (audio), 3, 4 and 10 (kinds that carry nothing for an
// output) are valid; any other value marks damage. A cluster is no whole number of records
// (1 MiB = 127 records and 7684 bytes), so records straddle cluster boundaries.
class RecordFormat {
public:
    static constexpr std::uint32_t recordSize = 8196;
    static constexpr std::uint32_t payloadSize = 8192;
    static constexpr std::uint32_t videoRecord = 1;
    static constexpr std::uint32_t audioRecord = 2;

    // One test of a bit: a damaged stream is searched for ids in 4-byte steps.
    static bool isRecordId(std::uint32_t id) { return id < 32 && (validIds >> id & 1u) != 0; }

private:
    static constexpr std::uint32_t validIds = 1u << videoRecord | 1u << audioRecord | 1u << 3 | 1u << 4 | 1u << 10;
};
