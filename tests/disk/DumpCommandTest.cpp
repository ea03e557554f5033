// The dump command as a user runs it, on image files.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/ExpectedHexLines.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
const std::string startMissing = "Angabe der Startposition fehlt\n";

std::string aligned(const std::string& position) { return "Position auf Sectorgrenze " + position + " justiert!\n"; }

class DumpCommandTest : public ::testing::Test {
protected:
    static constexpr std::uint64_t diskSize = 16u << 20;

    void SetUp() override {
        image = temp.makeImage("disk.img", diskSize, true);
        // Sectors 1 to 63 hold a pattern that differs from sector to sector.
        std::vector<std::uint8_t> pattern(63 * 512);
        for (std::size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<std::uint8_t>(k * 7 + k / 512);
        TempDir::writeAt(image, 512, pattern.data(), pattern.size());
    }

    ToolResult dump(std::vector<std::string> words) {
        words.insert(words.begin(), "dump");
        return ToolRunner::run(words, {image});
    }

    // The lines of the sectors from the position on, read from the image by the test itself.
    std::string sectors(std::uint64_t position, std::size_t count, bool swap) {
        std::vector<std::uint8_t> bytes = TempDir::readAt(image, position, count * 512);
        EXPECT_EQ(count * 512, bytes.size());
        return ExpectedHexLines::lines(position, swap ? ExpectedHexLines::swapped(bytes) : bytes);
    }

    TempDir temp;
    std::string image;
};

TEST_F(DumpCommandTest, StartsAreAlignedToTheirSectorAndShownWordSwapped) {
    ToolResult result = dump({"1FF"});
    EXPECT_EQ(aligned("00000000") + sectors(0, 1, true), result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("00000000  6D 6C 65 76 6E 61 72 6F  20 64 68 20 30 2E 31 56  mlevnaro dh 0.1V\n",
              result.output.substr(aligned("00000000").size(), 77));

    for (const char* start : {"1234", "0x1234", "0X1234"}) {
        result = dump({start});
        EXPECT_EQ(aligned("00001200") + sectors(0x1200, 1, true), result.output) << start;
        EXPECT_EQ(0, result.status);
    }
    for (const char* start : {"200", "0x0000000000000200", "0000000000000200", "200xyz"}) {
        result = dump({start});
        EXPECT_EQ(sectors(0x200, 1, true), result.output) << start;
        EXPECT_EQ(0, result.status);
    }
}

TEST_F(DumpCommandTest, LengthsCountInWholeSectors) {
    ToolResult result = dump({"0", "0"});
    EXPECT_EQ("", result.output);
    EXPECT_EQ(0, result.status);

    for (const char* length : {"1", "200", "xyz", "0x200"}) {
        result = dump({"200", length});
        EXPECT_EQ(sectors(0x200, 1, true), result.output) << length;
        EXPECT_EQ(0, result.status);
    }
    result = dump({"0", "201"});
    EXPECT_EQ(sectors(0, 2, true), result.output);
    EXPECT_EQ(64u * 77u, result.output.size());
    result = dump({"600", "0x1000"});
    EXPECT_EQ(sectors(0x600, 8, true), result.output);
}

TEST_F(DumpCommandTest, ByteOrderWords) {
    ToolResult result = dump({"0", "200", "littlendian"});
    EXPECT_EQ(sectors(0, 1, false), result.output);
    EXPECT_EQ("00000000  76 65 6C 6D 6F 72 61 6E  20 68 64 20 56 31 2E 30  velmoran hd V1.0\n"
              "00000010  32 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  2...............\n",
              result.output.substr(0, 2 * 77));
    EXPECT_EQ(0, result.status);

    result = dump({"0", "200", "bigendian", "ignored"});
    EXPECT_EQ(sectors(0, 1, true), result.output);
    EXPECT_EQ(0, result.status);

    for (const char* word : {"Bigendian", "littleendian", ""}) {
        result = dump({"0", "200", word});
        EXPECT_EQ("Fehlerhafte Angabe fuer bigendian/littlendian!\n", result.output) << word;
        EXPECT_EQ(1, result.status);
    }
    result = dump({"1FF", "200", "LITTLENDIAN"});
    EXPECT_EQ(aligned("00000000") + "Fehlerhafte Angabe fuer bigendian/littlendian!\n", result.output);
    EXPECT_EQ(1, result.status);
}

TEST_F(DumpCommandTest, AnUnreadableSectorEndsTheDumpWithItsPosition) {
    ToolResult result = dump({"FFFE00", "400"});
    EXPECT_EQ(sectors(0xFFFE00, 1, true) + "Sektor bei Position 01000000 konnte nicht gelesen werden!\n", result.output);
    EXPECT_EQ(1, result.status);

    result = dump({"1000100"});
    EXPECT_EQ(aligned("01000000") + "Sektor bei Position 01000000 konnte nicht gelesen werden!\n", result.output);
    EXPECT_EQ(1, result.status);
}

TEST_F(DumpCommandTest, DiskBytesReachTheScreenUnchanged) {
    const std::string data = std::string("%s%n%d\n\r\t%%\x7F\x80\xFC\xFF%x", 16) + "%p%p%p%p%p%p%p%p";
    TempDir::writeAt(image, 0x400, data.data(), data.size());
    const ToolResult result = dump({"400", "1", "littlendian"});
    EXPECT_EQ("00000400  25 73 25 6E 25 64 0A 0D  09 25 25 7F 80 FC FF 25  %s%n%d...%%\x7F\x80\xFC\xFF%\n"
              "00000410  25 70 25 70 25 70 25 70  25 70 25 70 25 70 25 70  %p%p%p%p%p%p%p%p\n",
              result.output.substr(0, 2 * 77));
    EXPECT_EQ(sectors(0x400, 1, false), result.output);
    EXPECT_EQ(0, result.status);
}

TEST_F(DumpCommandTest, WordsThatNameNoStartAreRefused) {
    for (const char* start : {"", "xyz", "0x", "-200", " 200", "G12345678", "12345678GGGGGGGG", "12345678901234567",
                              "0x12345678901234567"}) {
        const ToolResult result = dump({start});
        EXPECT_EQ(startMissing, result.output) << start;
        EXPECT_EQ(1, result.status);
    }
}

TEST(DumpBeyondFourGiB, HighAndLowHalvesOfTheStart) {
    TempDir temp;
    // Sparse: only the few sectors written take room.
    const std::string image = temp.makeImage("big.img", 0x124000000u, true);
    std::vector<std::uint8_t> pattern(2048);
    for (std::size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<std::uint8_t>(k * 13 + 1);
    TempDir::writeAt(image, 0x123456600u, pattern.data(), 512);
    TempDir::writeAt(image, 0xFFFFFE00u, pattern.data(), pattern.size());

    ToolResult result = ToolRunner::run({"dump", "123456789"}, {image});
    const std::vector<std::uint8_t> first(pattern.begin(), pattern.begin() + 512);
    EXPECT_EQ("Position auf Sectorgrenze 123456600 justiert!\n" +
                  ExpectedHexLines::lines(0x123456600u, ExpectedHexLines::swapped(first)),
              result.output);
    EXPECT_EQ(0, result.status);

    result = ToolRunner::run({"dump", "FFFFFE00", "400", "littlendian"}, {image});
    const std::vector<std::uint8_t> across(pattern.begin(), pattern.begin() + 1024);
    EXPECT_EQ(ExpectedHexLines::lines(0xFFFFFE00u, across), result.output);
    EXPECT_NE(std::string::npos, result.output.find("\nFFFFFFF0  "));
    EXPECT_NE(std::string::npos, result.output.find("\n100000000  "));
    EXPECT_EQ(0, result.status);
}
}  // namespace
