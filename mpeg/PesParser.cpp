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

std::size_t PesParser::packHeaderLength(const std::uint8_t* bytes, std::size_t available) {
    if (available < 5) return 0;
    if ((bytes[4] & 0xC0) != 0x40) return 12;  // MPEG-1
    return available < 14 ? 0 : 14 + (bytes[13] & 7);
}

std::size_t PesParser::unitLength(const std::uint8_t* bytes, std::size_t available) {
    if (available < 4 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1 || bytes[3] < packCode) return 0;
    if (bytes[3] == packCode) return packHeaderLength(bytes, available);
    if (available < prefixSize) return 0;
    const std::size_t length = std::size_t{bytes[4]} << 8 | bytes[5];
    return length == 0 ? 0 : prefixSize + length;
}

std::size_t PesParser::readHeader(const std::uint8_t* bytes, std::size_t available, Stamps& stamps) {
    stamps = Stamps();
    if (available < prefixSize + 1) return 0;
    if ((bytes[6] & 0xC0) == 0x80) {
        // MPEG-2: flags, header length, then PTS and DTS first among the optional fields.
        if (available < prefixSize + 3 || available < prefixSize + 3 + bytes[8]) return 0;
        const int flags = bytes[7] >> 6;
        stamps.hasPts = flags >= 2 && bytes[8] >= 5 && readStamp(&bytes[9], stamps.pts);
        stamps.hasDts = stamps.hasPts && flags == 3 && bytes[8] >= 10 && readStamp(&bytes[14], stamps.dts);
        return prefixSize + 3 + bytes[8];
    }
    // MPEG-1: stuffing, an optional buffer size, then the stamps.
    std::size_t at = prefixSize;
    while (at < available && bytes[at] == 0xFF && at < prefixSize + 16) ++at;
    if (at >= available) return 0;
    if ((bytes[at] & 0xC0) == 0x40) {
        if (available < at + 3) return 0;
        at += 2;
    }
    const int flags = bytes[at] >> 4;
    const std::size_t fields = flags == 3 ? 10 : flags == 2 ? 5 : 1;
    if (available < at + fields) return 0;
    stamps.hasPts = flags >= 2 && readStamp(&bytes[at], stamps.pts);
    stamps.hasDts = stamps.hasPts && flags == 3 && readStamp(&bytes[at + 5], stamps.dts);
    return at + fields;
}

// Decides once the header holds enough of the packet; true when it did (state changed).
bool PesParser::readPacketHeader() {
    const std::size_t size = header.size();
    if (size < 4) return false;
    const std::uint8_t id = header[3];
    if (id <= endCode) {
        // The end code, or a start code of an elementary stream between packets: not ours to read.
        state = State::Seeking;
        return true;
    }
    if (id != packCode && size < prefixSize) return false;
    const std::size_t length = unitLength(header.data(), size);  // of a packet: 0 when open
    if (id == packCode && length == 0) return false;
    if (id == packCode || !isOurs(id)) {
        remaining = length > size ? length - size : 0;
        state = remaining > 0 ? State::Skipping : State::Seeking;
        return true;
    }
    Stamps stamps;
    const std::size_t headerEnd = readHeader(header.data(), size, stamps);
    if (headerEnd == 0) return false;
    if (length == 0 ? !video : headerEnd > length) {
        // A header longer than its packet, or sound of no length: damage.
        state = State::Seeking;
        return true;
    }
    parser.packetStarts(stamps.hasPts, stamps.pts, stamps.hasDts, stamps.dts);
    if (length == 0) {
        carrySize = 0;
        state = State::OpenPayload;
    } else {
        remaining = length - headerEnd;
        state = remaining > 0 ? State::Payload : State::Seeking;
    }
    return true;
}

// A 33-bit stamp in its five bytes, with its marker bits.
bool PesParser::readStamp(const std::uint8_t* field, std::uint64_t& value) {
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
