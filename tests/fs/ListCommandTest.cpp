// The list command as a user meets it: the built tool run on recorder disk images.
#include <gtest/gtest.h>

#include <string>

#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

class ListCommandTest : public ::testing::Test {
protected:
    TempDir temp;

    // A signed image of `clusters` MiB carrying the layout.
    std::string diskWith(const RecorderLayout& layout, std::int32_t clusters = 16) {
        const std::string image = temp.makeImage("disk.img", clusters * mebibyte, true);
        layout.writeTo(image);
        return image;
    }

    ToolResult list(const std::string& image) { return ToolRunner::run({"list"}, {image}); }
};

TEST_F(ListCommandTest, AnEmptyDirectoryPrintsOnlyTheFreeShare) {
    const ToolResult result = list(diskWith(RecorderLayout(16)));
    EXPECT_EQ("-- 100 Prozent frei\n", result.output);
    EXPECT_EQ(0, result.status);
}

TEST_F(ListCommandTest, RecordingsInSlotOrderWithNumbersNamesAndSizes) {
    RecorderLayout layout(9);  // data clusters 6, 7 and 8
    layout.addChain({8, 6});
    layout.putSlot(3, "Sportschau", 8, 2500, 17);
    layout.putSlot(0, "Tagesschau", 8, 0, 1048575);
    layout.putSlot(1, "Der Name dieser Aufnahme ist laenger als dreissig Zeichen", 6, 10000, 0);
    layout.putSlot(5, "Fuenf", 6, 1, 0);
    layout.putSlot(8, "Rest ueber einem MiB", 6, 3, 2 * 1048576 + 5);
    layout.putSlot(9, "Ueber 4 GiB", 6, 4097, 0);
    layout.putSlot(10, "Groesste Groesse", 6, 0xFFFFFFFF, 0xFFFFFFFF);
    layout.putSlot(123, "Hundertdreiundzwanzig", 6, 12, 1048575);
    layout.putSlot(4095, "Letzter Platz", 6, 99999, 0);
    const ToolResult result = list(diskWith(layout));
    EXPECT_EQ("00 Tagesschau                        0 MB\n"
              "01 Der Name dieser Aufnahme ist laenger als dreissig Zeichen 10000 MB\n"
              "03 Sportschau                     2500 MB\n"
              "05 Fuenf                             1 MB\n"
              "08 Rest ueber einem MiB              5 MB\n"
              "09 Ueber 4 GiB                    4097 MB\n"
              "10 Groesste Groesse               4294971390 MB\n"
              "123 Hundertdreiundzwanzig            12 MB\n"
              "4095 Letzter Platz                  99999 MB\n"
              "-- 33 Prozent frei\n",
              result.output);
    EXPECT_EQ(0, result.status);
}

TEST_F(ListCommandTest, NamesArePrintedAsTheyAreAndNeverBeyondTheirField) {
    RecorderLayout layout(16);
    layout.putSlot(2, "100% Musik %s %d", 6, 3, 0);
    // A damaged or hostile name: line ends, an escape sequence and DEL become "?", other bytes stay.
    layout.putSlot(4, "Falsch\r\n05 Gefaelscht\x1B[2J\x7F\xE4", 6, 1, 0);
    // 212 characters without a terminator; the words behind the name field are not zero.
    const std::string fullField(212, 'x');
    layout.putSlot(9, fullField, 0x41414141, 0x41, 0x41);
    const std::string image = diskWith(layout);
    TempDir::writeAt(image, RecorderLayout::directoryPosition + 9 * 256 + 212, "BBBBCCCC", 8);
    const ToolResult result = list(image);
    EXPECT_EQ("02 100% Musik %s %d                  3 MB\n"
              "04 Falsch??05 Gefaelscht?[2J?\xE4       1 MB\n"
              "09 " + fullField + "   65 MB\n"
              "-- 100 Prozent frei\n",
              result.output);
}

TEST_F(ListCommandTest, TheFreeShareCountsTheDataClustersOfTheTable) {
    struct Case {
        std::int32_t clusters;
        std::vector<std::int32_t> chain;
        const char* line;
    };
    // Data clusters 6 to 8; the disk ends at the highest entry that is not EndOfChain.
    const Case cases[] = {
        {9, {6, 7}, "-- 33 Prozent frei\n"},
        {9, {6}, "-- 66 Prozent frei\n"},
        {9, {8, 6, 7}, "-- 0 Prozent frei\n"},
        {9, {}, "-- 100 Prozent frei\n"},
        {6, {}, "-- 0 Prozent frei\n"},  // no data cluster at all
    };
    for (const Case& c : cases) {
        RecorderLayout layout(c.clusters);
        layout.addChain(c.chain);
        const ToolResult result = list(diskWith(layout));
        EXPECT_EQ(c.line, result.output) << c.line;
        EXPECT_EQ(0, result.status);
    }
}

TEST_F(ListCommandTest, SlotsPastTheEndOfTheDiskAreAbsent) {
    // The image ends after the sector of slots 2 and 3; every later slot cannot be read.
    const std::string image = temp.makeImage("short.img", 5 * mebibyte + 1024, true);
    RecorderLayout layout(5);
    layout.putSlot(1, "Eins", -1, 1, 0);
    layout.putSlot(3, "Drei", -1, 3, 0);
    layout.writeTo(image);
    const ToolResult result = list(image);
    EXPECT_EQ("01 Eins                              1 MB\n"
              "03 Drei                              3 MB\n"
              "-- 0 Prozent frei\n",
              result.output);
    EXPECT_EQ(0, result.status);
}

TEST_F(ListCommandTest, AFullDirectoryListsAllSlots) {
    const std::string image = temp.makeImage("full.img", 7 * mebibyte, true);
    RecorderLayout layout(7);
    for (std::int32_t slot = 0; slot < 4096; ++slot) layout.putSlot(slot, "A", 6, 0, 0);
    layout.writeTo(image);
    const ToolResult result = list(image);
    std::string expected;
    for (int slot = 0; slot < 4096; ++slot) {
        char number[8];
        std::snprintf(number, sizeof number, "%02d", slot);
        expected += std::string(number) + " A                                 0 MB\n";
    }
    EXPECT_EQ(expected + "-- 100 Prozent frei\n", result.output);
}
}  // namespace
