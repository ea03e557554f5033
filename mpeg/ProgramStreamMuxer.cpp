#include "mpeg/ProgramStreamMuxer.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "mpeg/ByteSink.h"
#include "mpeg/Timeline.h"

namespace {
constexpr std::size_t packHeaderSize = 14;
constexpr std::size_t pesHeaderSize = 9;
constexpr std::size_t stdExtensionSize = 3;
constexpr std::size_t paddingHeaderSize = 6;
constexpr std::size_t largestPayload = ProgramStreamMuxer::packSize - packHeaderSize - pesHeaderSize;
constexpr std::uint64_t systemHeaderEvery = 256;
constexpr std::int64_t systemClockPerTick = 300;  // 27 MHz against 90 kHz
// A pack's time at the mux rate, in 27 MHz ticks.
constexpr std::int64_t packTime = std::int64_t{ProgramStreamMuxer::packSize} * 27000000 /
                                  (std::int64_t{ProgramStreamMuxer::muxRate} * 50);
constexpr std::uint8_t videoId = 0xE0;
constexpr std::uint8_t audioId = 0xC0;

std::uint64_t wrapped(std::int64_t value) {
    return static_cast<std::uint64_t>(value) & static_cast<std::uint64_t>(Timeline::wrap - 1);
}

// A stamp in five bytes: its 4-bit prefix, 33 bits and three marker bits.
void putStamp(std::uint8_t* at, std::uint8_t prefix, std::int64_t time) {
    const std::uint64_t value = wrapped(time);
    at[0] = static_cast<std::uint8_t>(prefix << 4 | (value >> 30 & 7) << 1 | 1);
    at[1] = static_cast<std::uint8_t>(value >> 22);
    at[2] = static_cast<std::uint8_t>((value >> 15 & 0x7F) << 1 | 1);
    at[3] = static_cast<std::uint8_t>(value >> 7);
    at[4] = static_cast<std::uint8_t>((value & 0x7F) << 1 | 1);
}

void putBufferSize(std::uint8_t* at, std::uint8_t top, bool largeScale, std::uint32_t size) {
    const std::uint32_t units = size / (largeScale ? 1024 : 128);
    at[0] = static_cast<std::uint8_t>(top | (largeScale ? 0x20 : 0) | (units >> 8 & 0x1F));
    at[1] = static_cast<std::uint8_t>(units);
}
}  // namespace

ProgramStreamMuxer::ProgramStreamMuxer(ByteSink& out) : out(out) {
    streams[videoStream].id = videoId;
    streams[videoStream].bufferSize = videoBufferSize;
    streams[videoStream].largeScale = true;
    streams[audioStream].id = audioId;
    streams[audioStream].bufferSize = audioBufferSize;
    streams[audioStream].largeScale = false;
}

void ProgramStreamMuxer::accessUnit(int index, AccessUnit& unit) {
    Stream& stream = streams[index];
    if (unit.bytes.empty() || stream.ended) return;
    stream.queue.emplace_back();
    AccessUnit& queued = stream.queue.back();
    queued.bytes.swap(unit.bytes);
    queued.stampOffset = std::min<std::uint32_t>(unit.stampOffset, static_cast<std::uint32_t>(queued.bytes.size() - 1));
    queued.dts = unit.dts;
    queued.pts = std::max(unit.pts, unit.dts);
    queued.duration = unit.duration;
    queued.stamped = unit.stamped;
    stream.stamped = queued.stamped;
    stream.unsent += queued.bytes.size();
    queuedBytes += queued.bytes.size();
    if (stream.shifted || !shiftsDecided) {
        pump();
        return;
    }
    // A stream that begins after the program started: stamped ones keep the common shift.
    const Stream& other = streams[1 - index];
    stream.shift = queued.stamped && other.shifted && other.stamped ? other.shift : programStart - startOf(queued);
    stream.shifted = true;
    pump();
}

bool ProgramStreamMuxer::finish() {
    for (Stream& stream : streams) stream.ended = true;
    pump();
    static const std::uint8_t endCode[4] = {0, 0, 1, 0xB9};
    if (!failed && !out.writeBytes(endCode, sizeof endCode)) failed = true;
    return !failed;
}

std::int64_t ProgramStreamMuxer::startOf(const AccessUnit& unit) const {
    return std::min(unit.pts, unit.dts + unit.duration);
}

// The program starts when both streams have their first unit, or one has ended without any.
bool ProgramStreamMuxer::decideShifts(bool forced) {
    Stream& video = streams[videoStream];
    Stream& audio = streams[audioStream];
    for (const Stream* stream : {&video, &audio})
        if (stream->queue.empty() && !stream->ended && !forced) return false;
    const bool haveVideo = !video.queue.empty();
    const bool haveAudio = !audio.queue.empty();
    if (haveVideo && haveAudio && video.queue.front().stamped && audio.queue.front().stamped) {
        const std::int64_t shift = programStart - std::min(startOf(video.queue.front()), startOf(audio.queue.front()));
        video.shift = audio.shift = shift;
        video.shifted = audio.shifted = true;
    } else {
        for (Stream* stream : {&video, &audio}) {
            if (stream->queue.empty()) continue;
            stream->shift = programStart - startOf(stream->queue.front());
            stream->shifted = true;
        }
    }
    shiftsDecided = true;
    return true;
}

void ProgramStreamMuxer::pump() {
    while (!failed) {
        const bool forced = queuedBytes > mostQueued;
        if (!shiftsDecided && !decideShifts(forced)) return;
        bool pending = false;
        for (const Stream& stream : streams) {
            // Only full packets while the stream goes on and memory allows waiting.
            if (!forced && !stream.ended && stream.unsent < largestPayload) return;
            pending = pending || stream.unsent > 0;
        }
        if (!pending) return;
        std::int64_t scr = 0;
        const int index = chooseStream(scr);
        writePack(index, scr);
    }
}

void ProgramStreamMuxer::release(Stream& stream, std::int64_t time) {
    while (!stream.buffer.empty() && stream.buffer.front().removal <= time) {
        stream.fullness -= stream.buffer.front().bytes;
        stream.buffer.pop_front();
    }
}

// The stream whose next unit is decoded first among those whose buffer takes a packet at the
// pack's SCR; the SCR waits for a buffer to empty where none does.
int ProgramStreamMuxer::chooseStream(std::int64_t& scr) {
    int order[2] = {videoStream, audioStream};
    std::int64_t earliest = INT64_MAX;
    for (const Stream& stream : streams)
        if (stream.unsent > 0) earliest = std::min(earliest, frontDts(stream));
    if (streams[audioStream].unsent > 0 &&
        (streams[videoStream].unsent == 0 || frontDts(streams[audioStream]) < frontDts(streams[videoStream])))
        std::swap(order[0], order[1]);
    std::int64_t time = lastScr < 0 ? 0 : lastScr + packTime;
    time = std::max(time, (earliest - mostLead) * systemClockPerTick);
    for (;;) {
        for (Stream& stream : streams) release(stream, time / systemClockPerTick);
        for (const int index : order) {
            const Stream& stream = streams[index];
            if (stream.unsent == 0) continue;
            if (stream.fullness + largestPayload <= stream.bufferSize) {
                scr = time;
                return index;
            }
        }
        std::int64_t next = INT64_MAX;
        for (const Stream& stream : streams)
            if (!stream.buffer.empty()) next = std::min(next, stream.buffer.front().removal * systemClockPerTick);
        if (next == INT64_MAX) break;
        time = next;
    }
    scr = time;
    return order[0];
}

std::size_t ProgramStreamMuxer::commencement(const Stream& stream, std::size_t room, const AccessUnit** unit,
                                             std::size_t from) const {
    std::size_t ahead = 0;  // bytes of the stream in front of the unit looked at
    for (std::size_t k = 0; k < stream.queue.size() && ahead < room; ++k) {
        const AccessUnit& candidate = stream.queue[k];
        const std::size_t sent = k == 0 ? stream.sentOfFront : 0;
        if (candidate.stampOffset >= sent) {
            const std::size_t at = ahead + candidate.stampOffset - sent;
            if (at >= room) break;
            if (at >= from) {
                *unit = &candidate;
                return at;
            }
        }
        ahead += candidate.bytes.size() - sent;
    }
    *unit = nullptr;
    return room;
}

std::size_t ProgramStreamMuxer::nextCommencement(const Stream& stream, std::size_t at, std::size_t room) const {
    const AccessUnit* next = nullptr;
    return commencement(stream, room, &next, at + 1);
}

// The pack is made in the sink's memory where it lends some, else here.
void ProgramStreamMuxer::writePack(int index, std::int64_t scr) {
    std::uint8_t* const lent = out.room(packSize);
    std::uint8_t* const pack = lent ? lent : ownPack;
    Stream& stream = streams[index];
    std::size_t size = putPackHeader(pack, scr);
    if (packCount % systemHeaderEvery == 0) size += putSystemHeader(pack + size);
    const std::size_t extension = stream.firstPacket ? stdExtensionSize : 0;
    std::size_t room = packSize - size - pesHeaderSize - extension;
    const AccessUnit* stamped = nullptr;
    const std::size_t at = commencement(stream, room, &stamped);
    std::size_t stampSize = 0;
    std::size_t limit = room;
    if (stamped) {
        const std::size_t needed = stamped->pts != stamped->dts ? 10 : 5;
        if (at < room - needed) {
            stampSize = needed;
            room -= needed;
        } else {
            // The unit would commence behind the room left by its stamps: the packet ends in
            // front of it and the next one carries it.
            limit = at;
            stamped = nullptr;
        }
    }
    // A video packet carries one picture's start, so that every picture has its stamps.
    if (stamped && index == videoStream) limit = std::min(limit, nextCommencement(stream, at, room));
    const std::size_t payload = static_cast<std::size_t>(std::min<std::uint64_t>({stream.unsent, room, limit}));
    const std::size_t leftover = room - payload;
    const std::size_t stuffing = leftover < paddingHeaderSize ? leftover : 0;
    const std::size_t headerData = stampSize + extension + stuffing;
    std::uint8_t* pes = pack + size;
    const std::size_t packetLength = 3 + headerData + payload;
    pes[0] = 0;
    pes[1] = 0;
    pes[2] = 1;
    pes[3] = stream.id;
    pes[4] = static_cast<std::uint8_t>(packetLength >> 8);
    pes[5] = static_cast<std::uint8_t>(packetLength);
    pes[6] = 0x81;  // MPEG-2 header, original
    pes[7] = static_cast<std::uint8_t>((stampSize == 10 ? 0xC0 : stampSize == 5 ? 0x80 : 0) | (extension ? 1 : 0));
    pes[8] = static_cast<std::uint8_t>(headerData);
    std::uint8_t* field = pes + pesHeaderSize;
    if (stamped) {
        putStamp(field, stampSize == 10 ? 3 : 2, stamped->pts + stream.shift);
        if (stampSize == 10) putStamp(field + 5, 1, stamped->dts + stream.shift);
        field += stampSize;
    }
    if (extension) {
        field[0] = 0x1E;  // only the P-STD buffer field
        putBufferSize(field + 1, 0x40, stream.largeScale, stream.bufferSize);
        field += extension;
    }
    std::memset(field, 0xFF, stuffing);
    field += stuffing;
    field += putPayload(stream, field, payload);
    if (leftover >= paddingHeaderSize) {
        const std::size_t padding = leftover - paddingHeaderSize;
        const std::uint8_t paddingHeader[paddingHeaderSize] = {0, 0, 1, 0xBE, static_cast<std::uint8_t>(padding >> 8),
                                                               static_cast<std::uint8_t>(padding)};
        std::memcpy(field, paddingHeader, paddingHeaderSize);
        std::memset(field + paddingHeaderSize, 0xFF, padding);
    }
    if (lent)
        out.commit(packSize);
    else if (!out.writeBytes(pack, packSize))
        failed = true;
    stream.firstPacket = false;
    lastScr = scr;
    ++packCount;
}

// Copies `length` bytes of the stream's units; they enter its buffer, and leave it when their
// unit is decoded.
std::size_t ProgramStreamMuxer::putPayload(Stream& stream, std::uint8_t* at, std::size_t length) {
    std::size_t copied = 0;
    while (copied < length) {
        AccessUnit& front = stream.queue.front();
        const std::size_t piece = std::min(length - copied, front.bytes.size() - stream.sentOfFront);
        std::memcpy(at + copied, front.bytes.data() + stream.sentOfFront, piece);
        copied += piece;
        stream.sentOfFront += static_cast<std::uint32_t>(piece);
        if (!stream.buffer.empty() && stream.buffer.back().serial == stream.serial)
            stream.buffer.back().bytes += static_cast<std::uint32_t>(piece);
        else
            stream.buffer.push_back(Delivered{stream.serial, front.dts + stream.shift, static_cast<std::uint32_t>(piece)});
        stream.fullness += static_cast<std::uint32_t>(piece);
        if (stream.sentOfFront == front.bytes.size()) {
            stream.queue.pop_front();
            stream.sentOfFront = 0;
            ++stream.serial;
            ++stream.written;
        }
    }
    stream.unsent -= length;
    queuedBytes -= length;
    return length;
}

std::size_t ProgramStreamMuxer::putPackHeader(std::uint8_t* at, std::int64_t scr) const {
    const std::uint64_t base = wrapped(scr / systemClockPerTick);
    const std::uint32_t extension = static_cast<std::uint32_t>(scr % systemClockPerTick);
    at[0] = 0;
    at[1] = 0;
    at[2] = 1;
    at[3] = 0xBA;
    at[4] = static_cast<std::uint8_t>(0x44 | (base >> 30 & 7) << 3 | (base >> 28 & 3));
    at[5] = static_cast<std::uint8_t>(base >> 20);
    at[6] = static_cast<std::uint8_t>((base >> 15 & 0x1F) << 3 | 0x04 | (base >> 13 & 3));
    at[7] = static_cast<std::uint8_t>(base >> 5);
    at[8] = static_cast<std::uint8_t>((base & 0x1F) << 3 | 0x04 | (extension >> 7 & 3));
    at[9] = static_cast<std::uint8_t>((extension & 0x7F) << 1 | 1);
    at[10] = static_cast<std::uint8_t>(muxRate >> 14);
    at[11] = static_cast<std::uint8_t>(muxRate >> 6);
    at[12] = static_cast<std::uint8_t>((muxRate & 0x3F) << 2 | 3);
    at[13] = 0xF8;  // reserved, no stuffing
    return packHeaderSize;
}

// Rate bound and the buffer bound of each stream the program has.
std::size_t ProgramStreamMuxer::putSystemHeader(std::uint8_t* at) const {
    const bool hasVideo = streams[videoStream].shifted || !streams[videoStream].ended;
    const bool hasAudio = streams[audioStream].shifted || !streams[audioStream].ended;
    const std::size_t length = 6 + 3 * ((hasVideo ? 1 : 0) + (hasAudio ? 1 : 0));
    at[0] = 0;
    at[1] = 0;
    at[2] = 1;
    at[3] = 0xBB;
    at[4] = static_cast<std::uint8_t>(length >> 8);
    at[5] = static_cast<std::uint8_t>(length);
    at[6] = static_cast<std::uint8_t>(0x80 | (muxRate >> 15 & 0x7F));
    at[7] = static_cast<std::uint8_t>(muxRate >> 7);
    at[8] = static_cast<std::uint8_t>((muxRate & 0x7F) << 1 | 1);
    at[9] = static_cast<std::uint8_t>((hasAudio ? 1 : 0) << 2);  // audio bound, not fixed, no CSPS
    at[10] = static_cast<std::uint8_t>(0xE0 | (hasVideo ? 1 : 0));  // locked, video bound
    at[11] = 0x7F;
    std::size_t size = 12;
    for (const int index : {videoStream, audioStream}) {
        if (!(index == videoStream ? hasVideo : hasAudio)) continue;
        const Stream& stream = streams[index];
        at[size] = stream.id;
        putBufferSize(at + size + 1, 0xC0, stream.largeScale, stream.bufferSize);
        size += 3;
    }
    return size;
}
