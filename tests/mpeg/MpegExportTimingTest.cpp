// Times that no short material shows: a counted stream over many minutes (30000/1001 must not
// drift: every DTS exact), stamps across the 33-bit wrap, and the SCR that each pack's stamps
// must not fall behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "mpeg/ByteSink.h"
#include "mpeg/MpegExport.h"

namespace {
constexpr std::int64_t wrap = std::int64_t{1} << 33;

// Reads back the packs: SCR and the stamps of each video packet, in file order.
class PackReader : public ByteSink {
public:
    bool writeBytes(const std::uint8_t* p, std::size_t length) override {
        if (length != 2048) return true;
        const std::int64_t scr = std::int64_t(p[4] >> 3 & 7) << 30 | std::int64_t(p[4] & 3) << 28 | std::int64_t(p[5]) << 20 |
                                 std::int64_t(p[6] >> 3) << 15 | std::int64_t(p[6] & 3) << 13 | std::int64_t(p[7]) << 5 | p[8] >> 3;
        std::size_t at = 14;
        if (p[at + 3] == 0xBB) at += 6 + (p[at + 4] << 8 | p[at + 5]);
        if (p[at + 3] != 0xE0 || (p[at + 7] & 0x80) == 0) return true;
        const std::uint8_t* f = p + at + 9 + ((p[at + 7] & 0x40) ? 5 : 0);  // the DTS where there is one, else the PTS
        const std::int64_t dts = std::int64_t(f[0] >> 1 & 7) << 30 | std::int64_t(f[1]) << 22 | std::int64_t(f[2] >> 1) << 15 |
                                 std::int64_t(f[3]) << 7 | f[4] >> 1;
        stamps.push_back({scr, dts});
        return true;
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> stamps;  // SCR, DTS (33 bits each)
};

std::string picture(int frame, bool withHeaders, std::uint8_t rateCode) {
    std::string unit;
    if (withHeaders) unit += std::string("\0\0\1\xB3\x0B\x00\x90", 7) + char(0x10 | rateCode) + "\xFF\xFF\xFF\xF8" + std::string("\0\0\1\xB8\0\x08\0\x40", 8);
    unit += std::string("\0\0\1\0", 4) + char(frame >> 2 & 0xFF) + char((frame & 3) << 6 | (withHeaders ? 1 : 2) << 3 | 7) + "\xFF\xF8";
    return unit + std::string("\0\0\1\1", 4) + std::string(40, '\x55');
}

std::string stamped(const std::string& payload, std::int64_t dts) {
    std::string pes = std::string("\0\0\1\xE0", 4) + char((payload.size() + 8) >> 8) + char((payload.size() + 8) & 0xFF) + "\x80\x80\x05";
    const std::uint64_t v = std::uint64_t(dts) & (wrap - 1);
    pes += char(0x21 | (v >> 29 & 0x0E)) + std::string(1, char(v >> 22)) + char((v >> 14) | 1) + char(v >> 7) + char((v << 1) | 1);
    return pes + payload;
}

TEST(MpegExportTiming, CountedAndStampedTimesStayExactAndAheadOfTheClock) {
    struct Case {
        const char* what;
        std::uint8_t rateCode;
        std::int64_t frames;
        std::int64_t firstStamp;  // -1: counted
    };
    const Case cases[] = {{"30000/1001 over ten minutes", 4, 600 * 30, -1},
                          {"25 over the 33-bit wrap", 3, 25 * 60, wrap - 10 * 90000}};
    for (const Case& c : cases) {
        PackReader reader;
        MpegExport exporter(reader, MpegExport::Target::ProgramStream);
        std::string chunk;
        for (std::int64_t k = 0; k < c.frames; ++k) {
            const std::string unit = picture(int(k % 12), k % 12 == 0, c.rateCode);
            chunk += c.firstStamp < 0 ? unit : stamped(unit, c.firstStamp + k * 3600);
            if (chunk.size() > 60000 || k + 1 == c.frames) {
                exporter.video(reinterpret_cast<const std::uint8_t*>(chunk.data()), chunk.size());
                chunk.clear();
            }
        }
        ASSERT_TRUE(exporter.finish());
        ASSERT_EQ(std::uint64_t(c.frames), exporter.videoReport().written) << c.what;
        ASSERT_EQ(std::size_t(c.frames), reader.stamps.size()) << c.what;
        // Every picture's DTS, unwrapped, steps by exactly its frame's share of the count.
        std::int64_t turns = 0, previous = -1, scrTurns = 0, previousScr = -1;
        const std::int64_t first = reader.stamps.front().second;
        for (std::size_t k = 0; k < reader.stamps.size(); ++k) {
            std::int64_t dts = reader.stamps[k].second + turns * wrap;
            if (dts < previous) dts += wrap, ++turns;
            std::int64_t scr = reader.stamps[k].first + scrTurns * wrap;
            if (scr < previousScr) scr += wrap, ++scrTurns;
            const std::int64_t expected = c.firstStamp < 0 ? first + std::int64_t(k) * 2 * 45000 * 1001 / 30000 : first + std::int64_t(k) * 3600;
            ASSERT_EQ(expected, dts) << c.what << " picture " << k;
            ASSERT_LE(scr, dts) << c.what << " picture " << k;
            ASSERT_LE(dts - scr, 50000) << c.what << " picture " << k;
            previous = dts;
            previousScr = scr;
        }
        // The program starts near 0.5 s whatever the stamps: the input's wrap is unwrapped.
        EXPECT_EQ(0, turns) << c.what;
    }
}
}  // namespace
