#pragma once

#include <cstdint>
#include <vector>

// One time line for the stamped streams of a program: packet time stamps are 33-bit values of
// the 90 kHz clock that wrap after 26.5 hours and may jump where a recording was cut or its
// source changed. The time line unwraps them, and takes a stamp that goes backwards or jumps
// ahead by more than a few seconds as a discontinuity: the stream continues where it was
// expected, and the other stream, when it reaches the same jump, steps over it by the same
// amount, so that both stay in step as they were recorded.
class Timeline {
public:
    static constexpr std::int64_t clockRate = 90000;
    static constexpr std::int64_t wrap = std::int64_t{1} << 33;
    // A jump ahead beyond this counts as a discontinuity; shorter ones are kept as stamped.
    static constexpr std::int64_t longestJump = 3 * clockRate;

    // The stream's stamp `raw` (33 bits) on the common time line. `expected` is where the
    // stream's own count says the unit lies on it; for a stream's first stamp hasExpected is
    // false.
    std::int64_t place(int stream, std::uint64_t raw, bool hasExpected, std::int64_t expected);

private:
    struct Epoch {
        std::int64_t rawStart;    // the unwrapped stamp where it began
        std::int64_t correction;  // added to unwrapped stamps within it
    };
    struct StreamState {
        bool seen = false;
        std::int64_t last = 0;  // last unwrapped stamp
        std::size_t epoch = 0;  // index into epochs
    };

    std::int64_t unwrap(int stream, std::uint64_t raw) const;
    std::int64_t enterEpoch(StreamState& state, std::int64_t unwrapped, std::int64_t expected);

    StreamState streams[2];
    std::vector<Epoch> epochs{Epoch{0, 0}};
};
