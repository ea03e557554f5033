#include "recover/StreamJoint.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "base/LittleEndian.h"
#include "disk/RecorderDisk.h"
#include "fs/RecordFormat.h"
#include "mpeg/AudioParser.h"
#include "mpeg/PesParser.h"
#include "mpeg/StartCodeScan.h"
#include "mpeg/Timeline.h"
#include "mpeg/VideoParser.h"
#include "recover/RecordPhase.h"

namespace {
constexpr std::uint32_t recordSize = RecordFormat::recordSize;
// Payload bytes before the boundary in which a chain of units is looked for: enough for a few
// of the longest packets.
constexpr std::size_t chainReach = 8 * RecordFormat::payloadSize;
// A chain is taken for real from this many units before the cut on.
constexpr int unitsBeforeCut = 2;
constexpr std::uint8_t sequenceCode = 0xB3;
constexpr std::uint8_t gopCode = 0xB8;
constexpr std::size_t gopHeaderSize = 8;
constexpr std::int64_t day = 24 * 3600 * Timeline::clockRate;

std::uint32_t idAt(const std::uint8_t* record) { return LittleEndian::load32(record); }

// Private stream 1, audio and video packets: the ones whose stamps are looked at.
bool isStampedStream(std::uint8_t code) { return code == 0xBD || (code >= 0xC0 && code <= 0xEF); }

// The first start code (00 00 01 and its code byte) from `from` on; the size when there is none.
std::size_t nextStartCode(const std::vector<std::uint8_t>& bytes, std::size_t from) {
    if (from + 4 > bytes.size()) return bytes.size();
    const std::uint8_t* found = StartCodeScan::find(bytes.data() + from, bytes.data() + bytes.size());
    return found ? static_cast<std::size_t>(found - bytes.data()) : bytes.size();
}

// A stream goes on where its time moves forward by no more than a stamped stream may jump
// without a break; times count round `period`.
int stepEvidence(std::int64_t from, std::int64_t to, std::int64_t period) {
    std::int64_t step = ((to - from) % period + period) % period;
    if (step > period / 2) step -= period;
    return step > 0 && step <= Timeline::longestJump ? 1 : -1;
}
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
    for (const std::uint32_t kind : {RecordFormat::videoRecord, RecordFormat::audioRecord}) {
        Payloads payloads;
        payloads.bytes.reserve(2 * (RecorderDisk::clusterSize / recordSize + 1) * RecordFormat::payloadSize);
        for (std::uint32_t position = lastPhase; position < straddle; position += recordSize)
            if (idAt(last + position) == kind) appendPayload(payloads.bytes, last + position);
        payloads.cut = payloads.bytes.size();
        if (id == kind) {
            appendPayload(payloads.bytes, record.data());
            payloads.cut += std::max<std::uint32_t>(inLast, 4) - 4;
        }
        for (std::uint32_t position = inFollowing; RecordPhase::isRecordAt(following, followingLength, position) &&
                                                   position + recordSize <= followingLength;
             position += recordSize)
            if (idAt(following + position) == kind) appendPayload(payloads.bytes, following + position);
        score += chainAcross(payloads) + stampsAcross(payloads);
    }
    return score;
}

void StreamJoint::appendPayload(std::vector<std::uint8_t>& payloads, const std::uint8_t* record) {
    const std::size_t size = payloads.size();
    payloads.resize(size + RecordFormat::payloadSize);
    RecorderDisk::copySwappedWords(payloads.data() + size, record + (recordSize - RecordFormat::payloadSize),
                                   RecordFormat::payloadSize);
}

int StreamJoint::chainAcross(const Payloads& payloads) {
    const std::vector<std::uint8_t>& bytes = payloads.bytes;
    const std::size_t cut = payloads.cut;
    if (cut == 0 || cut >= bytes.size()) return 0;
    for (std::size_t start = cut > chainReach ? cut - chainReach : 0; start < cut; ++start) {
        std::size_t at = start;
        int units = 0;
        for (std::size_t length = 0; at < cut && (length = unitLength(bytes, at)) != 0; at += length) ++units;
        if (at < cut || units < unitsBeforeCut) continue;
        if (at + 4 > bytes.size()) return 0;
        return unitLength(bytes, at) != 0 ? 1 : -1;
    }
    return 0;
}

std::size_t StreamJoint::unitLength(const std::vector<std::uint8_t>& bytes, std::size_t at) {
    if (at + 4 > bytes.size()) return 0;
    AudioParser::Header frame;
    if (AudioParser::readHeader(bytes.data() + at, frame)) return frame.frameLength;
    return PesParser::unitLength(bytes.data() + at, bytes.size() - at);
}

// The stamps are those of the headers that lie wholly on one side of the cut. A stream counts
// where its time runs before the cut (time codes that stand still say nothing), and GOP time
// codes count for elementary video only: in packets they say again what the packets' stamps say.
int StreamJoint::stampsAcross(const Payloads& payloads) {
    struct Times {
        int before = 0;
        bool behind = false;
        std::int64_t previous = 0;
        std::int64_t last = 0;
        std::int64_t first = 0;
    };
    const std::vector<std::uint8_t>& bytes = payloads.bytes;
    std::map<std::uint8_t, Times> streams;  // by stream id; GOP time codes under their start code
    std::uint32_t framesPerSecond = 0;
    for (std::size_t at = nextStartCode(bytes, 0); at < bytes.size(); at = nextStartCode(bytes, at + 3)) {
        const std::uint8_t* header = bytes.data() + at;
        const std::size_t available = bytes.size() - at;
        const std::uint8_t code = header[3];
        std::int64_t time = 0;
        std::size_t end = at + gopHeaderSize;
        if (code == sequenceCode) {
            if (const std::uint32_t rate = VideoParser::timeCodeRate(header, available)) framesPerSecond = rate;
            continue;
        }
        if (code == gopCode) {
            if (!VideoParser::gopTime(header, available, framesPerSecond, time)) continue;
        } else if (isStampedStream(code)) {
            PesParser::Stamps stamps;
            end = at + PesParser::readHeader(header, available, stamps);
            if (end == at || !stamps.hasPts) continue;
            time = static_cast<std::int64_t>(stamps.hasDts ? stamps.dts : stamps.pts);
        } else {
            continue;
        }
        Times& times = streams[code];
        if (end <= payloads.cut) {
            ++times.before;
            times.previous = times.last;
            times.last = time;
        } else if (at >= payloads.cut && !times.behind) {
            times.behind = true;
            times.first = time;
        }
    }
    const bool packets = streams.size() > streams.count(gopCode);
    int score = 0;
    for (const auto& stream : streams) {
        const Times& times = stream.second;
        const std::int64_t period = stream.first == gopCode ? day : Timeline::wrap;
        if (times.before < 2 || !times.behind || (stream.first == gopCode && packets) ||
            stepEvidence(times.previous, times.last, period) < 0)
            continue;
        score += stepEvidence(times.last, times.first, period);
    }
    return score;
}
