// The scan that looks at many bytes at a time against a plain reading of the same bytes, from
// every place on: start codes at every place of a block and across blocks, at the very end
// with and without their code byte, in and behind long runs of zeros, among pairs that read
// 00 00 or 00 01 without being one.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "mpeg/StartCodeScan.h"

namespace {
const std::uint8_t* plainFind(const std::uint8_t* from, const std::uint8_t* end) {
    for (const std::uint8_t* at = from; end - at >= 4; ++at)
        if (at[0] == 0 && at[1] == 0 && at[2] == 1) return at;
    return nullptr;
}
}  // namespace

TEST(StartCodeScan, FindsTheFirstWholeStartCodeAsAPlainReadingDoes) {
    std::vector<std::vector<std::uint8_t>> cases;
    for (std::size_t at = 0; at + 4 <= 100; ++at) {  // one start code at every place
        cases.emplace_back(100, 0x55);
        const std::uint8_t code[4] = {0, 0, 1, 0xB3};
        std::copy(code, code + 4, cases.back().begin() + static_cast<std::ptrdiff_t>(at));
    }
    cases.push_back(std::vector<std::uint8_t>(200, 0));                   // zeros only
    cases.push_back(std::vector<std::uint8_t>(200, 0));                   // zeros, then a start code
    cases.back().insert(cases.back().end(), {1, 0xB3});
    cases.push_back(std::vector<std::uint8_t>(97, 0));                    // a prefix without its code byte
    cases.back().push_back(1);
    cases.push_back({});                                                  // pairs 00 01 and 01 00 00 02
    for (int k = 0; k < 40; ++k) cases.back().insert(cases.back().end(), {0, 1, 1, 0, 0, 2});
    cases.emplace_back();  // zeros, ones and twos at random: start codes of every spacing
    std::uint32_t seed = 12345;
    for (int k = 0; k < 400; ++k) cases.back().push_back(static_cast<std::uint8_t>((seed = seed * 1103515245 + 12345) >> 16) % 3);
    for (const std::vector<std::uint8_t>& bytes : cases) {
        const std::uint8_t* end = bytes.data() + bytes.size();
        for (const std::uint8_t* from = bytes.data(); from <= end; ++from)
            ASSERT_EQ(plainFind(from, end), StartCodeScan::find(from, end))
                << "case of " << bytes.size() << " bytes, from " << (from - bytes.data());
    }
}
