#include "recover/StreamJoint.h"

#include <algorithm>

#include "base/LittleEndian.h"
#include "disk/RecorderDisk.h"
#include "fs/RecordFormat.h"
#include "recover/RecordPhase.h"

namespace {
constexpr std::uint32_t recordSize = RecordFormat::recordSize;
// Records looked at on either side of the boundary: enough for a few of the longest packets.
constexpr std::uint32_t recordsBefore = 8;
// A chain is taken for real from this many units before the cut on.
constexpr int unitsBeforeCut = 2;

std::uint32_t idAt(const std::uint8_t* record) { return LittleEndian::load32(record); }
}  // namespace

int StreamJoint::evidence(const std::uint8_t* last, std::uint32_t lastPhase, const std::uint8_t* following,
                          std::uint32_t followingLength) {
    const std::uint32_t straddle = RecordPhase::lastBoundary(lastPhase);
    const std::uint32_t inLast = RecorderDisk::clusterSize - straddle;
    const std::uint32_t inFollowing = recordSize - inLast;
    if (inFollowing > followingLength) return 0;
    std::vector<std::uint8_t> record(last + straddle, last + RecorderDisk::clusterSize);
    record.insert(record.end(), following, following + inFollowing);
    const std::uint32_t id = idAt(record.data());
    // An id that the boundary cuts is evidence of its own.
    int score = inLast < 4 ? (RecordFormat::isRecordId(id) ? 1 : -1) : 0;
    if (!RecordFormat::isRecordId(id)) return score;
    const std::uint32_t from = std::max<std::int64_t>(lastPhase, std::int64_t{straddle} - recordsBefore * recordSize);
    for (const std::uint32_t kind : {RecordFormat::videoRecord, RecordFormat::audioRecord}) {
        std::vector<std::uint8_t> payloads;
        for (std::uint32_t position = from; position < straddle; position += recordSize)
            if (idAt(last + position) == kind) appendPayload(payloads, last + position);
        std::size_t cut = payloads.size();
        if (id == kind) {
            appendPayload(payloads, record.data());
            cut += std::max<std::uint32_t>(inLast, 4) - 4;
        }
        const std::uint32_t to = std::min(followingLength, inFollowing + recordsBefore * recordSize);
        for (std::uint32_t position = inFollowing;
             position + recordSize <= to && RecordPhase::isRecordAt(following, to, position); position += recordSize)
            if (idAt(following + position) == kind) appendPayload(payloads, following + position);
        score += chainAcross(payloads, cut);
    }
    return score;
}

void StreamJoint::appendPayload(std::vector<std::uint8_t>& payloads, const std::uint8_t* record) {
    const std::size_t size = payloads.size();
    payloads.resize(size + RecordFormat::payloadSize);
    RecorderDisk::copySwappedWords(payloads.data() + size, record + (recordSize - RecordFormat::payloadSize),
                                   RecordFormat::payloadSize);
}

int StreamJoint::chainAcross(const std::vector<std::uint8_t>& payloads, std::size_t cut) {
    if (cut == 0 || cut >= payloads.size()) return 0;
    for (std::size_t start = 0; start < cut; ++start) {
        std::size_t at = start;
        int units = 0;
        for (std::size_t length = 0; at < cut && (length = unitLength(payloads, at)) != 0; at += length) ++units;
        if (at < cut || units < unitsBeforeCut) continue;
        if (at + 4 > payloads.size()) return 0;
        return unitLength(payloads, at) != 0 ? 1 : -1;
    }
    return 0;
}

std::size_t StreamJoint::unitLength(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    if (at + 4 > bytes.size()) return 0;
    const std::uint8_t* header = bytes.data() + at;
    if (header[0] == 0xFF && (header[1] & 0xE0) == 0xE0) return audioFrameLength(header);
    if (header[0] == 0 && header[1] == 0 && header[2] == 1) return packetLength(header, bytes.size() - at);
    return 0;
}

// A pack header (0xBA, MPEG-1 or MPEG-2), or a system header or PES packet (0xBB and up) with
// its 16-bit length; video start codes (below 0xBA) carry no length.
std::size_t StreamJoint::packetLength(const std::uint8_t* header, std::size_t available) {
    if (available < 14) return 0;
    if (header[3] == 0xBA) {
        if ((header[4] & 0xC0) == 0x40) return 14 + (header[13] & 7);
        return (header[4] & 0xF0) == 0x20 ? 12 : 0;
    }
    if (header[3] < 0xBB) return 0;
    const std::size_t length = std::size_t{header[4]} << 8 | header[5];
    return length == 0 ? 0 : 6 + length;
}

// An MPEG-1, MPEG-2 or MPEG-2.5 audio frame header of layer I, II or III.
std::size_t StreamJoint::audioFrameLength(const std::uint8_t* header) {
    static const std::uint16_t mpeg1Rates[3][15] = {
        {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}};
    static const std::uint16_t mpeg2Rates[2][15] = {
        {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}};
    static const std::uint32_t sampleRates[3] = {44100, 48000, 32000};
    const unsigned version = header[1] >> 3 & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const unsigned layer = 3 - (header[1] >> 1 & 3);  // 0: I, 1: II, 2: III
    const unsigned rateIndex = header[2] >> 4;
    const unsigned sampleIndex = header[2] >> 2 & 3;
    const unsigned padding = header[2] >> 1 & 1;
    if (version == 1 || layer == 3 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3) return 0;
    const bool mpeg1 = version == 3;
    const std::uint32_t kilobits = mpeg1 ? mpeg1Rates[layer][rateIndex] : mpeg2Rates[layer == 0 ? 0 : 1][rateIndex];
    const std::uint32_t sampleRate = sampleRates[sampleIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const std::uint32_t bits = kilobits * 1000;
    if (layer == 0) return (12 * bits / sampleRate + padding) * 4;
    return (layer == 2 && !mpeg1 ? 72 : 144) * bits / sampleRate + padding;
}
