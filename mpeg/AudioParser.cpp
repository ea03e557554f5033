#include "mpeg/AudioParser.h"

#include "mpeg/AccessUnitSink.h"

namespace {
constexpr std::size_t headerSize = 4;

// kbit/s by version (MPEG-1, MPEG-2), layer and index; index 0 (free format) and 15 are none.
const std::uint16_t bitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
const std::uint32_t sampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};
}  // namespace

bool AudioParser::readHeader(const std::uint8_t* bytes, Header& header) {
    if (bytes[0] != 0xFF || (bytes[1] & 0xE0) != 0xE0) return false;
    const int versionBits = bytes[1] >> 3 & 3;
    const int layerBits = bytes[1] >> 1 & 3;
    const int rateIndex = bytes[2] >> 4;
    const int sampleIndex = bytes[2] >> 2 & 3;
    const int padding = bytes[2] >> 1 & 1;
    const int emphasis = bytes[3] & 3;
    // MPEG-2.5 (00) and the reserved values are no MPEG-1/2 audio.
    if (versionBits < 2 || layerBits == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3 || emphasis == 2)
        return false;
    header.version = versionBits == 3 ? 1 : 2;
    header.layer = 4 - layerBits;
    header.sampleRate = sampleRates[header.version - 1][sampleIndex];
    const std::uint32_t bitRate = 1000u * bitRates[header.version - 1][header.layer - 1][rateIndex];
    if (header.layer == 1) {
        header.samples = 384;
        header.frameLength = (12 * bitRate / header.sampleRate + padding) * 4;
    } else {
        const bool halfFrame = header.layer == 3 && header.version == 2;
        header.samples = halfFrame ? 576 : 1152;
        header.frameLength = (halfFrame ? 72 : 144) * bitRate / header.sampleRate + padding;
    }
    return header.frameLength > headerSize;
}

AudioParser::AudioParser(AccessUnitSink& sink, Timeline& timeline, BufferPool& pool)
    : ElementaryParser(AccessUnitSink::audioStream, sink, timeline), pending(pool) {}

AudioParser::~AudioParser() = default;

bool AudioParser::sameKind(const Header& a, const Header& b) {
    return a.version == b.version && a.layer == b.layer && a.sampleRate == b.sampleRate;
}

std::uint8_t* AudioParser::room(std::size_t length) { return pending.extend(length); }

void AudioParser::filled(std::size_t length) {
    fed += length;
    parse(false);
}

void AudioParser::parse(bool atEnd) {
    std::size_t position = 0;
    Header header;
    for (;;) {
        if (position + headerSize > pending.size()) break;
        if (synced && readHeader(pending.data() + position, header)) {
            if (position + header.frameLength > pending.size()) break;
            if (kindKnown && !sameKind(header, kind)) {
                // A frame of another sample rate or layer: the stream cannot change them.
                countDropped();
                position += header.frameLength;
                continue;
            }
            emit(position, header);
            position += header.frameLength;
            continue;
        }
        synced = false;
        if (!findFrame(position, atEnd)) break;
        synced = true;
    }
    pending.dropFront(position);
    pendingStart += position;
}

// From `position` on, the first frame of the stream's kind that the next frame follows; false
// when the bytes do not tell yet (position then stays where the search must go on).
bool AudioParser::findFrame(std::size_t& position, bool atEnd) const {
    Header header;
    Header next;
    for (; position + headerSize <= pending.size(); ++position) {
        if (pending[position] != 0xFF || !readHeader(pending.data() + position, header)) continue;
        if (kindKnown && !sameKind(header, kind)) continue;
        const std::size_t following = position + header.frameLength;
        if (following + headerSize > pending.size()) {
            if (atEnd && following <= pending.size() && kindKnown) return true;
            return false;
        }
        if (readHeader(pending.data() + following, next) && sameKind(header, next)) return true;
    }
    return false;
}

void AudioParser::emit(std::size_t position, const Header& header) {
    if (!kindKnown) {
        kind = header;
        kindKnown = true;
    }
    setClockRate(90000, header.sampleRate);
    std::int64_t pts = 0;
    std::int64_t dts = 0;
    stampFor(pendingStart + position, pts, dts);
    if (!clockStarted()) {
        if (stamped) {
            countDropped();
            return;
        }
        startClock(0);
    }
    AccessUnit frame;
    frame.bytes = pending.share(position, header.frameLength);
    frame.dts = frame.pts = clockNow();
    frame.duration = ticksFor(header.samples);
    advanceClock(header.samples);
    deliver(frame);
}

void AudioParser::gap() {
    Header header;
    // A frame begun in front of the gap is cut.
    if (synced && pending.size() >= headerSize && readHeader(pending.data(), header)) countDropped();
    pendingStart += pending.size();
    pending.clear();
    synced = false;
    forgetStamps();
}

void AudioParser::finish() { parse(true); }
