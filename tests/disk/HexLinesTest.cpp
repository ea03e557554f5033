// The dump's line format, checked against lines written out by hand.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "disk/HexLines.h"

namespace {
std::vector<std::uint8_t> counting(std::size_t length, std::uint8_t first) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t k = 0; k < length; ++k) bytes[k] = static_cast<std::uint8_t>(first + k);
    return bytes;
}

std::string written(const std::vector<std::uint8_t>& bytes, std::uint64_t position) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(std::tmpfile(), &std::fclose);
    HexLines::writeHexLines(stream.get(), bytes.data(), static_cast<std::uint32_t>(bytes.size()), position);
    std::string text(static_cast<std::size_t>(std::ftell(stream.get())), '\0');
    std::rewind(stream.get());
    EXPECT_EQ(text.size(), std::fread(&text[0], 1, text.size(), stream.get()));
    return text;
}

TEST(HexLines, SeventySevenCharactersBelowFourGiB) {
    const std::vector<std::uint8_t> bytes = counting(32, 0x1C);
    std::string text;
    HexLines::formatHexLines(&text, bytes.data(), 32, 0x1200);
    const std::string expected =
        "00001200  1C 1D 1E 1F 20 21 22 23  24 25 26 27 28 29 2A 2B  .... !\"#$%&'()*+\n"
        "00001210  2C 2D 2E 2F 30 31 32 33  34 35 36 37 38 39 3A 3B  ,-./0123456789:;\n";
    EXPECT_EQ(expected, text);
    EXPECT_EQ(77u, text.find('\n') + 1);
    EXPECT_EQ(expected, written(bytes, 0x1200));
}

TEST(HexLines, TheLinesAcrossFourGiBCarryIntoTheHighHalf) {
    const std::vector<std::uint8_t> bytes = counting(32, 0xE0);
    const std::string expected =
        "FFFFFFF0  E0 E1 E2 E3 E4 E5 E6 E7  E8 E9 EA EB EC ED EE EF  \xE0\xE1\xE2\xE3\xE4\xE5\xE6\xE7"
        "\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF\n"
        "100000000  F0 F1 F2 F3 F4 F5 F6 F7  F8 F9 FA FB FC FD FE FF  \xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7"
        "\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF\n";
    EXPECT_EQ(expected, written(bytes, 0xFFFFFFF0u));
    std::string text;
    HexLines::formatHexLines(&text, bytes.data(), 32, 0xFFFFFFF0u);
    EXPECT_EQ(expected, text);
    EXPECT_EQ("1ABCDEF00", HexLines::positionText(0x1ABCDEF00u));
    EXPECT_EQ("FFFFFFFF00000000", HexLines::positionText(0xFFFFFFFF00000000u));
}

TEST(HexLines, ControlBytesBecomeDotsAndEveryOtherByteStaysAsItIs) {
    const std::uint8_t bytes[16] = {'%', 's', '%', 'n', '\n', '\r', 0x00, 0x1F, ' ', 0x7F, 0x80, 0xFC, 0xFF, '%', '%', 'd'};
    std::string text;
    HexLines::formatHexLines(&text, bytes, 16, 0);
    EXPECT_EQ("00000000  25 73 25 6E 0A 0D 00 1F  20 7F 80 FC FF 25 25 64  %s%n.... \x7F\x80\xFC\xFF%%d\n", text);
}

TEST(HexLines, OnlyWholeLinesAreShown) {
    const std::vector<std::uint8_t> bytes = counting(40, 0x41);
    std::string text = "left over";
    HexLines::formatHexLines(&text, bytes.data(), 15, 0);
    EXPECT_EQ("", text);
    HexLines::formatHexLines(&text, bytes.data(), 40, 0);
    EXPECT_EQ(2u * 77u, text.size());
    EXPECT_EQ(2u * 77u, written(bytes, 0).size());
}
}  // namespace
