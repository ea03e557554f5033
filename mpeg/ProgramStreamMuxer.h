#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "mpeg/AccessUnitSink.h"

class ByteSink;

// Writes the units of a video and an audio stream as an MPEG-2 program stream of 2048-byte
// packs, as on a DVD: a pack header with SCR and program_mux_rate, a system header in the first
// pack and now and then after it, one PES packet per pack (stream ids E0 and C0, stamps on the
// first unit that commences in it, the P-STD buffer size in the first packet of each stream),
// padding where a pack is not full, the end code at the end.
//
// The packs are interleaved by the decoding time of the data they carry, earliest first, as far
// as the decoder buffer of each stream (P-STD: 232 KiB video, 4 KiB audio, modelled here) has
// room: no buffer overflows, and each unit is there before it is decoded while the mux rate
// allows it. The SCR rises by at least a pack's time at the mux rate and runs at most half a
// second ahead of the earliest unit not yet written.
//
// Times: the first units of both streams decide where the program starts, near 0.5 s. Stamped
// streams keep their distance (one shift for both); a counted stream starts with the other.
// The written stamps and SCR wrap at 33 bits.
class ProgramStreamMuxer : public AccessUnitSink {
public:
    static constexpr std::uint32_t packSize = 2048;
    // In units of 50 bytes a second: 16 Mbit/s, above what MPEG-2 main profile at main level
    // and its sound may need together.
    static constexpr std::uint32_t muxRate = 40000;
    static constexpr std::uint32_t videoBufferSize = 232 * 1024;
    static constexpr std::uint32_t audioBufferSize = 4 * 1024;
    // Units waiting for the other stream are held up to this many bytes; beyond it the packs
    // go out with what there is.
    static constexpr std::size_t mostQueued = 4 * 1024 * 1024;
    static constexpr std::int64_t programStart = 45000;  // 0.5 s
    static constexpr std::int64_t mostLead = 45000;       // of the SCR ahead of a DTS

    explicit ProgramStreamMuxer(ByteSink& out);

    void accessUnit(int stream, AccessUnit& unit) override;
    // Writes what is left and the end code; false when a write failed.
    bool finish();
    std::uint64_t unitsWritten(int stream) const { return streams[stream].written; }

private:
    struct Delivered {
        std::uint64_t serial;
        std::int64_t removal;
        std::uint32_t bytes;
    };
    struct Stream {
        std::uint8_t id;
        std::uint32_t bufferSize;
        bool largeScale;  // buffer size in units of 1024 bytes, else 128
        std::deque<AccessUnit> queue;
        std::uint32_t sentOfFront = 0;
        std::uint64_t unsent = 0;
        std::uint64_t serial = 0;  // of the front unit
        bool ended = false;
        bool firstPacket = true;
        bool shifted = false;
        bool stamped = false;
        std::int64_t shift = 0;
        std::deque<Delivered> buffer;
        std::uint32_t fullness = 0;
        std::uint64_t written = 0;
    };

    void pump();
    bool decideShifts(bool forced);
    std::int64_t startOf(const AccessUnit& unit) const;
    std::int64_t frontDts(const Stream& stream) const { return stream.queue.front().dts + stream.shift; }
    int chooseStream(std::int64_t& scr);
    void release(Stream& stream, std::int64_t time);
    void writePack(int index, std::int64_t scr);
    std::size_t putPackHeader(std::uint8_t* at, std::int64_t scr) const;
    std::size_t putSystemHeader(std::uint8_t* at) const;
    std::size_t putPayload(Stream& stream, std::uint8_t* at, std::size_t length);
    // The offset, from `from` on within the next `room` bytes of the stream, at which a unit
    // commences, or `room`.
    std::size_t commencement(const Stream& stream, std::size_t room, const AccessUnit** unit,
                             std::size_t from = 0) const;
    std::size_t nextCommencement(const Stream& stream, std::size_t at, std::size_t room) const;

    ByteSink& out;
    Stream streams[2];
    bool shiftsDecided = false;
    std::int64_t lastScr = -1;  // 27 MHz
    std::uint64_t packCount = 0;
    std::size_t queuedBytes = 0;
    bool failed = false;
    std::uint8_t ownPack[packSize];
};
