#include "mpeg/StartCodeScan.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
#if defined(__SSE2__)
constexpr std::ptrdiff_t vectorSize = 16;

__m128i load(const std::uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// A mask with bit k set where a prefix ends at `last` + k: 01 there, zeros in the two bytes before.
unsigned prefixEnds(const std::uint8_t* last) {
    const __m128i zeros = _mm_setzero_si128();
    const __m128i one = _mm_cmpeq_epi8(load(last), _mm_set1_epi8(1));
    const __m128i zeroBefore = _mm_cmpeq_epi8(load(last - 1), zeros);
    const __m128i zeroTwoBefore = _mm_cmpeq_epi8(load(last - 2), zeros);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(one, _mm_and_si128(zeroBefore, zeroTwoBefore))));
}

// Whether a prefix may begin at `pairs` - 1 to `pairs` + 30. Each such prefix makes one of the
// 16 byte pairs from `pairs` on read 00 00 or 00 01: the pair at its start or the one behind it.
// Coded data rarely hold either, so most blocks are passed with two loads.
bool mayHoldPrefix(const std::uint8_t* pairs) {
    // A pair's first byte is the low half of its 16-bit lane.
    const __m128i firstByteZeroSecondBelowTwo = _mm_set1_epi16(static_cast<short>(0xFEFF));
    const __m128i zeros = _mm_setzero_si128();
    const __m128i low = _mm_cmpeq_epi16(_mm_and_si128(load(pairs), firstByteZeroSecondBelowTwo), zeros);
    const __m128i high = _mm_cmpeq_epi16(_mm_and_si128(load(pairs + vectorSize), firstByteZeroSecondBelowTwo), zeros);
    return _mm_movemask_epi8(_mm_or_si128(low, high)) != 0;
}
#endif
}  // namespace

const std::uint8_t* StartCodeScan::find(const std::uint8_t* from, const std::uint8_t* end) {
    if (end - from < 4) return nullptr;
    const std::uint8_t* last = from + 2;  // where the prefix's 01 would stand
#if defined(__SSE2__)
    // The code byte behind the last 01 looked at must be there too.
    for (; end - last > 2 * vectorSize; last += 2 * vectorSize) {
        if (!mayHoldPrefix(last - 1)) continue;
        const unsigned ends = prefixEnds(last) | prefixEnds(last + vectorSize) << vectorSize;
        if (ends != 0) return last + __builtin_ctz(ends) - 2;
    }
#endif
    for (; last + 1 < end; ++last)
        if (last[0] == 1 && last[-1] == 0 && last[-2] == 0) return last - 2;
    return nullptr;
}
