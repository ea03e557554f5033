#include "mpeg/ElementaryParser.h"

#include <cstring>

#include "mpeg/AccessUnitSink.h"
#include "mpeg/Timeline.h"

namespace {
// Packets in which no unit commences are forgotten beyond this many.
constexpr std::size_t keptStamps = 64;
}  // namespace

ElementaryParser::ElementaryParser(int stream, AccessUnitSink& sink, Timeline& timeline)
    : stream(stream), sink(sink), timeline(timeline) {}

ElementaryParser::~ElementaryParser() = default;

void ElementaryParser::feed(const std::uint8_t* bytes, std::size_t length) {
    if (length > 0) std::memcpy(room(length), bytes, length);
    filled(length);
}

void ElementaryParser::packetStarts(bool hasPts, std::uint64_t pts, bool hasDts, std::uint64_t dts) {
    // A packet that begins where the one before began (no payload in between) replaces it.
    if (!stamps.empty() && stamps.back().position == fed) stamps.pop_back();
    if (stamps.size() == keptStamps) stamps.pop_front();
    stamps.push_back(Stamp{fed, hasPts, pts, hasDts ? dts : pts});
}

void ElementaryParser::setClockRate(std::int64_t numerator, std::int64_t denominator) {
    if (numerator == clockNumerator && denominator == clockDenominator) return;
    rebaseClock(clockNow());
    clockNumerator = numerator;
    clockDenominator = denominator;
}

std::int64_t ElementaryParser::ticksFor(std::int64_t units) const {
    return clockBase + (clockCount + units) * clockNumerator / clockDenominator - clockNow();
}

void ElementaryParser::rebaseClock(std::int64_t at) {
    clockBase = at;
    clockCount = 0;
}

void ElementaryParser::startClock(std::int64_t at) {
    rebaseClock(at);
    started = true;
}

bool ElementaryParser::stampFor(std::uint64_t position, std::int64_t& pts, std::int64_t& dts) {
    // Packets that ended before the unit commences are behind us.
    while (stamps.size() > 1 && stamps[1].position <= position) stamps.pop_front();
    if (!stamped || stamps.empty() || stamps.front().position > position || !stamps.front().valid) return false;
    const Stamp stamp = stamps.front();
    stamps.front().valid = false;  // only the first unit of a packet has its stamps
    dts = timeline.place(stream, stamp.dts, started, clockNow());
    const std::int64_t delay = static_cast<std::int64_t>((stamp.pts - stamp.dts) & (Timeline::wrap - 1));
    // A PTS before its DTS is damage; the unit is shown when it is decoded.
    pts = delay < Timeline::wrap / 2 ? dts + delay : dts;
    startClock(dts);
    return true;
}

void ElementaryParser::deliver(AccessUnit& unit) {
    unit.stamped = stamped;
    sink.accessUnit(stream, unit);
    unit.bytes = UnitBytes();
}
