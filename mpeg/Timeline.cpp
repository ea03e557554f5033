#include "mpeg/Timeline.h"

#include <cstdlib>

namespace {
// A stream that reaches a jump finds the other's epoch when its own stamp lies this close to
// where that epoch began: the two streams of a recording run a few tenths of a second apart.
constexpr std::int64_t sameJump = 5 * Timeline::clockRate;
constexpr std::size_t keptEpochs = 8;
}  // namespace

std::int64_t Timeline::unwrap(int stream, std::uint64_t raw) const {
    const StreamState& own = streams[stream];
    const StreamState& other = streams[1 - stream];
    const std::int64_t value = static_cast<std::int64_t>(raw & (wrap - 1));
    if (!own.seen && !other.seen) return value;
    const std::int64_t reference = own.seen ? own.last : other.last;
    // The value of the 33-bit stamp nearest to the reference.
    std::int64_t turns = (reference - value) / wrap;
    std::int64_t best = value + turns * wrap;
    for (const std::int64_t candidate : {best - wrap, best + wrap})
        if (std::llabs(candidate - reference) < std::llabs(best - reference)) best = candidate;
    return best;
}

std::int64_t Timeline::place(int stream, std::uint64_t raw, bool hasExpected, std::int64_t expected) {
    StreamState& state = streams[stream];
    const std::int64_t unwrapped = unwrap(stream, raw);
    std::int64_t placed = unwrapped + epochs[state.epoch].correction;
    if (hasExpected) {
        const bool backwards = state.seen && unwrapped <= state.last;
        const bool jumpsAhead = placed - expected > longestJump;
        if (backwards || jumpsAhead || placed < expected - longestJump) placed = enterEpoch(state, unwrapped, expected);
    }
    state.seen = true;
    state.last = unwrapped;
    return placed;
}

std::int64_t Timeline::enterEpoch(StreamState& state, std::int64_t unwrapped, std::int64_t expected) {
    // The other stream may have met this jump already.
    for (std::size_t k = state.epoch + 1; k < epochs.size(); ++k) {
        if (std::llabs(unwrapped - epochs[k].rawStart) <= sameJump) {
            state.epoch = k;
            return unwrapped + epochs[k].correction;
        }
    }
    if (epochs.size() == keptEpochs) {
        // The oldest epoch that neither stream is in makes room; the streams' indices move along.
        std::size_t unused = 0;
        while (unused == streams[0].epoch || unused == streams[1].epoch) ++unused;
        epochs.erase(epochs.begin() + static_cast<std::ptrdiff_t>(unused));
        for (StreamState& s : streams)
            if (s.epoch > unused) --s.epoch;
    }
    epochs.push_back(Epoch{unwrapped, expected - unwrapped});
    state.epoch = epochs.size() - 1;
    return expected;
}
