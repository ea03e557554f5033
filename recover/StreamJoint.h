#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the bytes on both sides of a cluster boundary say about whether a later cluster goes on
// with the stream of an earlier one. The record that straddles the boundary must have a valid
// id where the boundary cuts the id itself. Where the payloads of a kind are MPEG, the lengths
// of the audio frames or packets (packs, PES packets) before the boundary must lead to a header
// behind it, and each stream's time must go on: the first time stamp behind the boundary (of a
// PES packet, or for elementary video the time code of a GOP header) a little later than the
// last one before it.
class StreamJoint {
public:
    // `last`: the whole earlier cluster, whose records run to its end at `lastPhase`;
    // `following`: the later cluster (or as much of it as was read), its records at the phase
    // that follows. Positive: evidence for the joint, negative: against it, 0: none either way.
    static int evidence(const std::uint8_t* last, std::uint32_t lastPhase, const std::uint8_t* following,
                        std::uint32_t followingLength);

private:
    // The payloads of one kind of record on both sides of the boundary, in stream order, and
    // how many of their bytes lie before it.
    struct Payloads {
        std::vector<std::uint8_t> bytes;
        std::size_t cut = 0;
    };

    // Follows the units of the payloads from the first header that leads to the cut and beyond:
    // +1 when it lands on a header behind the cut, -1 when not, 0 when there is no such chain.
    static int chainAcross(const Payloads& payloads);
    // The length of the audio frame or packet whose header begins at the position; 0 when none does.
    static std::size_t unitLength(const std::vector<std::uint8_t>& bytes, std::size_t at);
    // Per stream that has a time stamp on both sides of the cut: +1 when it goes on, -1 when it
    // goes back or jumps ahead.
    static int stampsAcross(const Payloads& payloads);
    static void appendPayload(std::vector<std::uint8_t>& payloads, const std::uint8_t* record);
};
