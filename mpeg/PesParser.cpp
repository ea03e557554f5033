#include "mpeg/PesParser.h"

#include <algorithm>
#include <cstring>

#include "mpeg/ElementaryParser.h"
#include "mpeg/StartCodeScan.h"

namespace {
constexpr std::uint8_t packCode = 0xBA;
constexpr std::uint8_t endCode = 0xB9;
constexpr std::uint8_t firstPacketCode = 0xB9;  // codes from here on are system start codes
constexpr std::size_t prefixSize = 6;            // start code and packet length
}  // namespace

PesParser::PesParser(bool video, ElementaryParser& parser) : video(video), parser(parser) {
    header.reserve(prefixSize + 256);
    parser.useStamps();
}

bool PesParser::isOurs(std::uint8_t id) {
    const bool kind = video ? (id >= 0xE0 && id <= 0xEF) : (id >= 0xC0 && id <= 0xDF);
    if (!kind) return false;
    if (streamId < 0) streamId = id;
    return id == streamId;
}

void PesParser::feed(const std::uint8_t* bytes, std::size_t length) {
    const std::uint8_t* end = bytes + length;
    while (bytes < end) {
        switch (state) {
        case State::Seeking: seek(bytes, end); break;
        case State::Header: gatherHeader(bytes, end); break;
        case State::Payload: passPayload(bytes, end); break;
        case State::OpenPayload: passOpenPayload(bytes, end); break;
        case State::Skipping: {
            const std::size_t skipped = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, end - bytes));
            bytes += skipped;
            remaining -= skipped;
            if (remaining == 0) state = State::Seeking;
            break;
        }
        }
    }
}

// Looks for 00 00 01 followed by a system start code.
void PesParser::seek(const std::uint8_t*& bytes, const std::uint8_t* end) {
    for (; bytes < end; ++bytes) {
        const std::uint8_t byte = *bytes;
        if (zeros >= 2 && byte == 1) {
            zeros = 0;
            header.assign({0, 0, 1});
            state = State::Header;
            ++bytes;
            return;
        }
        zeros = byte == 0 ? zeros + 1 : 0;
    }
}

void PesParser::gatherHeader(const std::uint8_t*& bytes, const std::uint8_t* end) {
    while (bytes < end && state == State::Header) {
        header.push_back(*bytes++);
        if (readPacketHeader()) return;
    }
}

// Decides once the header holds enough of the packet; true when it did (state changed).
bool PesParser::readPacketHeader() {
    const std::size_t size = header.size();
    if (size < 4) return false;
    const std::uint8_t id = header[3];
    if (id < firstPacketCode) {
        // A start code of an elementary stream between packets: not ours to read.
        state = State::Seeking;
        return true;
    }
    if (id == endCode) {
        state = State::Seeking;
        return true;
    }
    if (id == packCode) {
        if (size < 5) return false;
        const bool mpeg2 = (header[4] & 0xC0) == 0x40;
        if (mpeg2 && size < 14) return false;
        remaining = mpeg2 ? 14 + (header[13] & 7) - size : 12 > size ? 12 - size : 0;
        state = remaining > 0 ? State::Skipping : State::Seeking;
        return true;
    }
    if (size < prefixSize) return false;
    const std::uint32_t length = std::uint32_t{header[4]} << 8 | header[5];
    if (!isOurs(id)) {
        remaining = length;
        state = remaining > 0 ? State::Skipping : State::Seeking;
        return true;
    }
    std::size_t headerEnd = prefixSize;
    bool hasPts = false;
    bool hasDts = false;
    std::uint64_t pts = 0;
    std::uint64_t dts = 0;
    if (size < prefixSize + 1) return false;
    if ((header[6] & 0xC0) == 0x80) {
        // MPEG-2: flags, header length, then PTS and DTS first among the optional fields.
        if (size < prefixSize + 3 || size < prefixSize + 3 + header[8]) return false;
        const int flags = header[7] >> 6;
        headerEnd = prefixSize + 3 + header[8];
        hasPts = flags >= 2 && header[8] >= 5 && readStamps(&header[9], pts);
        hasDts = flags == 3 && header[8] >= 10 && readStamps(&header[14], dts);
    } else {
        // MPEG-1: stuffing, an optional buffer size, then the stamps.
        std::size_t at = prefixSize;
        while (at < size && header[at] == 0xFF && at < prefixSize + 16) ++at;
        if (at >= size) return false;
        if ((header[at] & 0xC0) == 0x40) {
            if (size < at + 3) return false;
            at += 2;
        }
        const int flags = header[at] >> 4;
        const std::size_t fields = flags == 3 ? 10 : flags == 2 ? 5 : 1;
        if (size < at + fields) return false;
        hasPts = flags >= 2 && readStamps(&header[at], pts);
        hasDts = flags == 3 && readStamps(&header[at + 5], dts);
        headerEnd = at + fields;
    }
    if (length != 0 && headerEnd - prefixSize > length) {
        state = State::Seeking;  // a header longer than its packet: damage
        return true;
    }
    parser.packetStarts(hasPts, pts, hasDts && hasPts, dts);
    if (length == 0 && video) {
        carrySize = 0;
        state = State::OpenPayload;
    } else {
        remaining = length - (headerEnd - prefixSize);
        state = remaining > 0 ? State::Payload : State::Seeking;
    }
    return true;
}

// A 33-bit stamp in its five bytes, with its marker bits.
bool PesParser::readStamps(const std::uint8_t* field, std::uint64_t& value) const {
    if ((field[0] & 1) == 0 || (field[2] & 1) == 0 || (field[4] & 1) == 0) return false;
    value = std::uint64_t(field[0] >> 1 & 7) << 30 | std::uint64_t(field[1]) << 22 | std::uint64_t(field[2] >> 1) << 15 |
            std::uint64_t(field[3]) << 7 | std::uint64_t(field[4] >> 1);
    return true;
}

void PesParser::passPayload(const std::uint8_t*& bytes, const std::uint8_t* end) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, end - bytes));
    parser.feed(bytes, count);
    bytes += count;
    remaining -= count;
    if (remaining == 0) state = State::Seeking;
}

// Hands on the bytes up to the next packet start code (00 00 01 and a code from B9 on). The
// end of a piece that may begin such a code (0, 00 or 00 00 01) is held until the next piece
// shows whether it does.
void PesParser::passOpenPayload(const std::uint8_t*& bytes, const std::uint8_t* end) {
    while (carrySize > 0 && bytes < end) {
        carry[carrySize++] = *bytes++;
        if (carrySize == 4) {
            if (carry[3] >= firstPacketCode) {
                header.assign(carry, carry + 4);
                carrySize = 0;
                state = State::Header;
                return;
            }
            parser.feed(carry, carrySize);
            carrySize = 0;
        } else if (carry[carrySize - 1] != (carrySize == 3 ? 1 : 0)) {
            // 00 00 00: the first zero is payload, the other two may still begin a code.
            const bool threeZeros = carrySize == 3 && carry[2] == 0;
            parser.feed(carry, threeZeros ? 1 : carrySize);
            carrySize = threeZeros ? 2 : 0;
        }
    }
    const std::uint8_t* start = bytes;
    for (const std::uint8_t* at = start; (at = StartCodeScan::find(at, end)) != nullptr; ++at) {
        if (at[3] >= firstPacketCode) {
            parser.feed(start, static_cast<std::size_t>(at - start));
            header.assign(at, at + 4);
            bytes = at + 4;
            state = State::Header;
            return;
        }
    }
    // The longest end of the piece that begins 00 00 01 is held.
    std::size_t tail = 0;
    const std::size_t size = static_cast<std::size_t>(end - start);
    if (size >= 3 && end[-3] == 0 && end[-2] == 0 && end[-1] == 1)
        tail = 3;
    else if (size >= 2 && end[-2] == 0 && end[-1] == 0)
        tail = 2;
    else if (size >= 1 && end[-1] == 0)
        tail = 1;
    parser.feed(start, size - tail);
    std::memcpy(carry + carrySize, end - tail, tail);
    carrySize += static_cast<std::uint32_t>(tail);
    bytes = end;
}

void PesParser::gap() {
    state = State::Seeking;
    zeros = 0;
    carrySize = 0;
    parser.gap();
}

void PesParser::finish() {
    if (state == State::OpenPayload) parser.feed(carry, carrySize);
    carrySize = 0;
    // A packet that the stream cut before its end takes its unit with it.
    if (state == State::Payload || state == State::Header) parser.gap();
    parser.finish();
}
