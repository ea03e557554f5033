#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "mpeg/AccessUnit.h"

class AccessUnitSink;
class Timeline;

// The part common to the video and the audio parser: bytes of one elementary stream in, access
// units with their times out. A stream is either counted (an elementary stream: times from the
// frame rate or the sample rate, from the first unit on) or stamped (packets: times from the
// packets' stamps, counted on between them). Units cut by damage are dropped whole and counted.
class ElementaryParser {
public:
    ElementaryParser(int stream, AccessUnitSink& sink, Timeline& timeline);
    virtual ~ElementaryParser();

    ElementaryParser(const ElementaryParser&) = delete;
    ElementaryParser& operator=(const ElementaryParser&) = delete;

    // The stream's times come from packets; before the first stamped unit no unit has a time.
    void useStamps() { stamped = true; }
    // A packet's payload begins with the next byte fed. Its stamps (33 bits; without a DTS the
    // DTS is the PTS) belong to the first unit that commences in it.
    void packetStarts(bool hasPts, std::uint64_t pts, bool hasDts, std::uint64_t dts);

    // The next `length` bytes of the stream.
    void feed(const std::uint8_t* bytes, std::size_t length);
    // Room for the next `length` bytes of the stream where the parser keeps them: the caller
    // writes them there and hands them on with filled(length), which is the same as feeding them
    // without a copy.
    virtual std::uint8_t* room(std::size_t length) = 0;
    virtual void filled(std::size_t length) = 0;
    // Bytes are missing in front of the next byte fed: the unit they cut is dropped.
    virtual void gap() = 0;
    // The stream has ended; a unit still open is complete.
    virtual void finish() = 0;

    std::uint64_t unitsDropped() const { return dropped; }

protected:
    // Units are counted from `base` on: `count` units of `numerator / denominator` ticks each,
    // the product taken whole, so that no rounding adds up (30000/1001 frames a second are
    // 1501.5 ticks a field).
    void setClockRate(std::int64_t numerator, std::int64_t denominator);
    std::int64_t clockNow() const { return clockBase + clockCount * clockNumerator / clockDenominator; }
    std::int64_t ticksFor(std::int64_t units) const;
    void advanceClock(std::int64_t units) { clockCount += units; }
    void rebaseClock(std::int64_t at);
    bool clockStarted() const { return started; }
    void startClock(std::int64_t at);

    // The stamps of the packet in which the unit commencing at stream byte `position` lies, on
    // the common time line; false when that packet had none (or the stream is counted). The
    // clock is moved to the stamped DTS.
    bool stampFor(std::uint64_t position, std::int64_t& pts, std::int64_t& dts);
    void forgetStamps() { stamps.clear(); }

    void deliver(AccessUnit& unit);
    void countDropped(std::uint64_t units = 1) { dropped += units; }

    int stream;
    bool stamped = false;
    std::uint64_t fed = 0;  // stream bytes fed so far

private:
    struct Stamp {
        std::uint64_t position;
        bool valid;
        std::uint64_t pts;
        std::uint64_t dts;
    };

    AccessUnitSink& sink;
    Timeline& timeline;
    std::deque<Stamp> stamps;
    std::int64_t clockBase = 0;
    std::int64_t clockCount = 0;
    std::int64_t clockNumerator = 1;
    std::int64_t clockDenominator = 1;
    bool started = false;
    std::uint64_t dropped = 0;
};
