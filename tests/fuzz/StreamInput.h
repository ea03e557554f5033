#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How a fuzz input describes a recording's stream in a few bytes: items of four bytes, each a
// run of records or of raw bytes, expanded after one another.
//   kind   bits 0-2: the records' id, one of 1, 2, 3, 4, 10, 0, 77; 7 makes raw bytes instead
//   count  records: 1 + count % 8 of them, 16 * (count - 247) from 248 on; raw bytes: count + 1
//   cut    the run's last record ends (cut * cut / 8) bytes early (4 bytes at 6, a whole
//          payload at 256), so that the next one begins off its place
//   mark   records: when not 0, the id of (mark & 7) stands in the first record's payload,
//          4 * (mark >> 3) bytes into it, where a resynchronisation may take it for a record;
//          raw bytes: their value
// The payloads are the tests' own (no 4-byte group reads as a record id). The stream stops
// growing at `limit` bytes.
class StreamInput {
public:
    static constexpr std::size_t itemSize = 4;

    static void expand(const std::uint8_t* items, std::size_t size, std::size_t limit, std::string& stream);
    // The item of a run of at least `count` records (raw bytes: exactly), for seeds.
    static std::string item(std::uint8_t kind, unsigned count, std::uint8_t cut = 0, std::uint8_t mark = 0);
};
