#include "mpeg/VideoParser.h"

#include <algorithm>
#include <cstring>

#include "mpeg/AccessUnitSink.h"
#include "mpeg/BitReader.h"
#include "mpeg/StartCodeScan.h"
#include "mpeg/Timeline.h"

namespace {
constexpr std::uint8_t pictureCode = 0x00;
constexpr std::uint8_t sequenceCode = 0xB3;
constexpr std::uint8_t extensionCode = 0xB5;
constexpr std::uint8_t sequenceEndCode = 0xB7;
constexpr std::uint8_t gopCode = 0xB8;
constexpr int iPicture = 1;
constexpr int bPicture = 3;
constexpr int dcPicture = 4;  // MPEG-1 D picture: stands alone like an I picture
constexpr int framePicture = 3;
constexpr std::size_t startCodeSize = 4;
// B pictures behind an I or P picture whose show time is still open: a stream that never
// brings the next I or P picture does not hold more.
constexpr std::size_t mostHeld = 64;
// Zero bytes in front of a start code are stuffing; a long run of them is dropped from a unit.
constexpr std::size_t keptStuffing = 2;

struct FrameRate {
    std::int64_t numerator;
    std::int64_t denominator;
};
const FrameRate frameRates[9] = {{0, 1},  {24000, 1001}, {24, 1}, {25, 1},      {30000, 1001},
                                 {30, 1}, {50, 1},       {60000, 1001}, {60, 1}};

// Bytes behind the start code that the parser reads of each header.
std::size_t headerBytes(std::uint8_t code) {
    switch (code) {
    case pictureCode: return 2;
    case sequenceCode: return 8;
    case extensionCode: return 6;
    case gopCode: return 4;
    default: return 0;
    }
}
}  // namespace

VideoParser::VideoParser(AccessUnitSink& sink, Timeline& timeline, BufferPool& pool)
    : ElementaryParser(AccessUnitSink::videoStream, sink, timeline), current(pool) {}

VideoParser::~VideoParser() = default;

bool VideoParser::isSequenceHeader(const std::uint8_t* bytes, std::size_t available) {
    if (available < startCodeSize + headerBytes(sequenceCode) || bytes[3] != sequenceCode) return false;
    BitReader header(bytes + startCodeSize);
    const std::uint32_t width = header.read(12);
    const std::uint32_t height = header.read(12);
    const std::uint32_t aspect = header.read(4);
    const std::uint32_t rate = header.read(4);
    header.skip(18);
    const std::uint32_t marker = header.read(1);
    return width != 0 && height != 0 && aspect != 0 && rate >= 1 && rate <= 8 && marker == 1;
}

std::uint32_t VideoParser::timeCodeRate(const std::uint8_t* bytes, std::size_t available) {
    if (!isSequenceHeader(bytes, available)) return 0;
    const FrameRate& rate = frameRates[bytes[startCodeSize + 3] & 0x0F];
    return static_cast<std::uint32_t>((rate.numerator + rate.denominator / 2) / rate.denominator);
}

bool VideoParser::gopTime(const std::uint8_t* bytes, std::size_t available, std::uint32_t framesPerSecond,
                          std::int64_t& ticks) {
    if (available < startCodeSize + headerBytes(gopCode) || bytes[3] != gopCode || framesPerSecond == 0) return false;
    BitReader timeCode(bytes + startCodeSize);
    timeCode.skip(1);  // drop_frame_flag: the pictures left out are too few to matter here
    const std::int64_t hours = timeCode.read(5);
    const std::int64_t minutes = timeCode.read(6);
    const std::uint32_t marker = timeCode.read(1);
    const std::int64_t seconds = timeCode.read(6);
    const std::int64_t pictures = timeCode.read(6);
    if (marker != 1 || hours > 23 || minutes > 59 || seconds > 59 || pictures >= framesPerSecond) return false;
    ticks = ((hours * 60 + minutes) * 60 + seconds) * Timeline::clockRate + pictures * Timeline::clockRate / framesPerSecond;
    return true;
}

std::uint8_t* VideoParser::room(std::size_t length) { return current.extend(length); }

void VideoParser::filled(std::size_t length) {
    if (length == 0) return;
    fed += length;
    scan(false);
    if (current.size() > largestUnit) dropCurrent();
}

void VideoParser::scan(bool atEnd) {
    std::size_t offset = 0;
    while (findStartCode(scanPos, offset)) {
        const std::uint8_t code = current[offset + 3];
        if (!atEnd && offset + startCodeSize + headerBytes(code) > current.size()) {
            scanPos = offset;
            return;
        }
        scanPos = handle(offset, code);
    }
    scanPos = std::max(scanPos, current.size() > 3 ? current.size() - 3 : std::size_t{0});
}

// A start code 00 00 01 at `offset` or later whose code byte is there too.
bool VideoParser::findStartCode(std::size_t from, std::size_t& offset) const {
    if (from >= current.size()) return false;
    const std::uint8_t* bytes = current.data();
    const std::uint8_t* found = StartCodeScan::find(bytes + from, bytes + current.size());
    if (!found) return false;
    offset = static_cast<std::size_t>(found - bytes);
    return true;
}

std::size_t VideoParser::handle(std::size_t offset, std::uint8_t code) {
    const std::size_t available = current.size() - offset - startCodeSize;
    const std::uint8_t* header = current.data() + offset + startCodeSize;
    const std::size_t behind = offset + startCodeSize;
    if (available < headerBytes(code)) return behind;
    switch (code) {
    case pictureCode: {
        const int type = header[1] >> 3 & 7;
        if (type < iPicture || type > dcPicture) return behind;
        if (unit.picture && unit.structure != framePicture && !unit.secondField) {
            unit.secondField = true;
            return behind;
        }
        offset = beginUnit(offset);
        unit.picture = true;
        unit.type = type == dcPicture ? iPicture : type;
        unit.pictureOffset = offset;
        return offset + startCodeSize;
    }
    case sequenceCode:
        if (!isSequenceHeader(current.data() + offset, available + startCodeSize)) return behind;
        offset = beginUnit(offset);
        unit.sequence = true;
        readSequenceHeader(current.data() + offset + startCodeSize);
        return offset + startCodeSize;
    case gopCode:
        offset = beginUnit(offset);
        unit.gop = true;
        unit.closedGop = (current[offset + 7] & 0x40) != 0;
        unit.brokenLink = (current[offset + 7] & 0x20) != 0;
        return offset + startCodeSize;
    case extensionCode:
        readExtension(header);
        return behind;
    case sequenceEndCode:
        if (!unit.picture) return behind;
        completeUnit(behind);
        return 0;
    default:
        return behind;
    }
}

// A sequence header, GOP header or picture begins a unit: the one before it is complete if it
// holds a picture; bytes in front of the first header of a unit are none of it.
std::size_t VideoParser::beginUnit(std::size_t offset) {
    if (unit.picture) {
        completeUnit(offset);
        offset = 0;
    } else if (!unit.begun && offset > 0) {
        current.dropFront(offset);
        currentStart += offset;
        offset = 0;
    }
    unit.begun = true;
    return offset;
}

void VideoParser::readSequenceHeader(const std::uint8_t* header) {
    const FrameRate& rate = frameRates[header[3] & 0x0F];
    sequence.known = true;
    sequenceSeen = true;
    // An MPEG-2 sequence header is always followed by its extension, which says so again.
    sequence.mpeg2 = false;
    sequence.progressive = true;
    sequence.lowDelay = false;
    sequence.baseNumerator = sequence.numerator = rate.numerator;
    sequence.baseDenominator = sequence.denominator = rate.denominator;
}

void VideoParser::readExtension(const std::uint8_t* header) {
    BitReader bits(header);
    const std::uint32_t id = bits.read(4);
    if (id == 1 && unit.sequence) {
        bits.skip(8);  // profile and level
        sequence.mpeg2 = true;
        sequence.progressive = bits.read(1) != 0;
        bits.skip(2 + 2 + 2 + 12 + 1 + 8);  // chroma, size and rate extensions, marker, buffer
        sequence.lowDelay = bits.read(1) != 0;
        const std::int64_t rateN = bits.read(2) + 1;
        const std::int64_t rateD = bits.read(5) + 1;
        sequence.numerator = sequence.baseNumerator * rateN;
        sequence.denominator = sequence.baseDenominator * rateD;
    } else if (id == 8 && unit.picture && !unit.secondField) {
        bits.skip(16 + 2);  // f_codes, intra DC precision
        unit.structure = static_cast<int>(bits.read(2));
        unit.topFieldFirst = bits.read(1) != 0;
        bits.skip(5);
        unit.repeatFirstField = bits.read(1) != 0;
    }
}

// The end of current[from, end) with the zeros at its end left out; stuffing runs long, so the
// zeros are passed over in words.
std::size_t VideoParser::withoutTrailingZeros(std::size_t from, std::size_t end) const {
    std::uint64_t word = 0;
    for (; end >= from + sizeof word; end -= sizeof word) {
        std::memcpy(&word, current.data() + end - sizeof word, sizeof word);
        if (word != 0) break;
    }
    while (end > from && current[end - 1] == 0) --end;
    return end;
}

void VideoParser::completeUnit(std::size_t end) {
    std::size_t kept = withoutTrailingZeros(unit.pictureOffset + startCodeSize, end);
    kept += std::min(end - kept, keptStuffing);
    AccessUnit done;
    done.bytes = current.share(0, kept);
    current.dropFront(end);
    const UnitInfo info = unit;
    const std::uint64_t position = currentStart + info.pictureOffset;
    currentStart += end;
    unit = UnitInfo();
    acceptPicture(done, info, position);
}

void VideoParser::acceptPicture(AccessUnit& done, const UnitInfo& info, std::uint64_t picturePosition) {
    done.stampOffset = static_cast<std::uint32_t>(info.pictureOffset);
    if (!sequence.known) {
        countDropped();
        return;
    }
    const std::int64_t fields = fieldsOf(info);
    // A field lasts half a frame: 45000 * denominator / numerator ticks.
    setClockRate(45000 * sequence.denominator, sequence.numerator);
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    const bool hasStamp = stampFor(picturePosition, pts, dts);
    if (!clockStarted()) {
        if (stamped) {
            countDropped();
            return;
        }
        startClock(0);
        startClock(-ticksFor(fields));
    }
    done.dts = clockNow();
    done.duration = ticksFor(fields);
    advanceClock(fields);
    if (!mayShow(info)) {
        countDropped();
        return;
    }
    if (info.type != bPicture) resolveAnchor(done.dts);
    const bool showNow = hasStamp || info.type == bPicture || sequence.lowDelay;
    done.pts = hasStamp ? pts : done.dts;
    hold(done, !showNow);
}

// Whether the picture can be decoded from what came before it.
bool VideoParser::mayShow(const UnitInfo& info) {
    const bool behindHeader = info.sequence || info.gop;
    if (waitingForResume) {
        if (info.type != iPicture || !behindHeader) return false;
        waitingForResume = false;
        dropLeadingB = !(info.gop && info.closedGop);
        return true;
    }
    if (info.type == bPicture) return !dropLeadingB;
    dropLeadingB = info.type == iPicture && info.gop && info.brokenLink;
    return true;
}

std::int64_t VideoParser::fieldsOf(const UnitInfo& info) const {
    if (!sequence.mpeg2) return 2;
    if (info.structure != framePicture) return info.secondField ? 2 : 1;
    if (sequence.progressive) return info.repeatFirstField ? (info.topFieldFirst ? 6 : 4) : 2;
    return info.repeatFirstField ? 3 : 2;
}

void VideoParser::hold(AccessUnit& done, bool waitsForShowTime) {
    held.emplace_back();
    held.back().bytes.swap(done.bytes);
    held.back().stampOffset = done.stampOffset;
    held.back().dts = done.dts;
    held.back().pts = done.pts;
    held.back().duration = done.duration;
    if (waitsForShowTime) anchorWaits = true;
    if (!anchorWaits)
        resolveAnchor(0);
    else if (held.size() > mostHeld)
        resolveAnchor(clockNow());
}

// The I or P picture that waits is shown at `showTime`; the pictures held behind it go out.
void VideoParser::resolveAnchor(std::int64_t showTime) {
    if (anchorWaits && !held.empty()) held.front().pts = std::max(showTime, held.front().dts);
    anchorWaits = false;
    while (!held.empty()) {
        deliver(held.front());
        held.pop_front();
    }
}

void VideoParser::dropCurrent() {
    if (unit.picture) countDropped();
    const std::size_t kept = 3;
    currentStart += current.size() - kept;
    current.dropFront(current.size() - kept);
    scanPos = 0;
    unit = UnitInfo();
    resolveAnchor(clockNow());
    waitingForResume = true;
}

void VideoParser::gap() {
    if (unit.picture) countDropped();
    current.clear();
    currentStart = fed;
    scanPos = 0;
    unit = UnitInfo();
    resolveAnchor(clockNow());
    waitingForResume = true;
    dropLeadingB = false;
    forgetStamps();
}

void VideoParser::finish() {
    scan(true);
    if (unit.picture) completeUnit(current.size());
    current.clear();
    resolveAnchor(clockNow());
}
