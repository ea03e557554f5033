#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// What the bytes on both sides of a cluster boundary say about whether a later cluster goes on
// with the stream of an earlier one. The record that straddles the boundary must have a valid
// id where the boundary cuts the id itself; and where the payloads of a kind are MPEG audio
// frames or MPEG packets (packs, PES packets), the lengths of those before the boundary must
// lead to a header behind it.
class StreamJoint {
public:
    // `last`: the whole earlier cluster, whose records run to its end at `lastPhase`;
    // `following`: the later cluster (or as much of it as was read), its records at the phase
    // that follows. Positive: evidence for the joint, negative: against it, 0: none either way.
    static int evidence(const std::uint8_t* last, std::uint32_t lastPhase, const std::uint8_t* following,
                        std::uint32_t followingLength);

private:
    // Follows the units of the payloads from the first header that leads to the cut and beyond:
    // +1 when it lands on a header behind the cut, -1 when not, 0 when there is no such chain.
    static int chainAcross(const std::vector<std::uint8_t>& payloads, std::size_t cut);
    // The length of the unit whose header begins at the position; 0 when none does.
    static std::size_t unitLength(const std::vector<std::uint8_t>& bytes, std::size_t at);
    static std::size_t packetLength(const std::uint8_t* header, std::size_t available);
    static std::size_t audioFrameLength(const std::uint8_t* header);
    static void appendPayload(std::vector<std::uint8_t>& payloads, const std::uint8_t* record);
};
