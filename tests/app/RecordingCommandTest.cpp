// The recording commands up to the point where they reach their recording: the number must
// name one, and a load needs a free slot.
#include <gtest/gtest.h>

#include <string>

#include "app/DiskTool.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
class RecordingCommandTest : public ::testing::Test {
protected:
    std::string diskWith(const RecorderLayout& layout) {
        const std::string image = temp.makeImage("disk.img", 16u << 20, true);
        layout.writeTo(image);
        return image;
    }
    TempDir temp;
};

TEST_F(RecordingCommandTest, NumbersThatNameNoRecordingAreRefused) {
    RecorderLayout layout(16);
    layout.putSlot(1, "Nachrichten", 6, 1, 0);
    const std::string image = diskWith(layout);
    struct Case {
        std::vector<std::string> words;
        std::string message;
    };
    const Case cases[] = {
        {{"movie", "save", "3"}, "Eintrag 3 nicht gueltig!\n"},
        {{"audio", "delete", "0"}, "Eintrag 0 nicht gueltig!\n"},
        {{"movie", "save", "4096"}, "Eintrag 4096 nicht gueltig!\n"},
        {{"movie", "delete", "-5"}, "Eintrag -5 nicht gueltig!\n"},
        // A word without a digit must not become slot 0.
        {{"movie", "save", "abc"}, "Eintrag -1 nicht gueltig!\n"},
        {{"movie", "save", "99999999999"}, "Eintrag 2147483647 nicht gueltig!\n"},
        {{"movie", "rip", "00"}, "Eintrag 0 nicht gueltig!\n"},
        {{"audio", "rip", "12abc"}, "Eintrag 12 nicht gueltig!\n"},
        // There is no delete of every recording; a backup file called "all" is ripped as ./all.
        {{"movie", "delete", "all"}, "Eintrag -1 nicht gueltig!\n"},
        {{"audio", "rip", "./all"}, "Datei ./all konnte nicht geoeffnet werden!\n"},
    };
    for (const Case& c : cases) {
        const ToolResult result = ToolRunner::run(c.words, {image});
        EXPECT_EQ(c.message, result.output) << c.words[2];
        EXPECT_EQ(1, result.status) << c.words[2];
    }
    // Slot 1 holds a recording: the number passes (001 is slot 1 too).
    const ToolResult named = ToolRunner::run({"movie", "save", "001"}, {image}, temp.path());
    EXPECT_EQ(std::string::npos, named.output.find("nicht gueltig")) << named.output;
}

TEST_F(RecordingCommandTest, LoadIntoAFullDirectoryIsRefused) {
    RecorderLayout layout(16);
    for (std::int32_t slot = 0; slot < 4096; ++slot) layout.putSlot(slot, "Voll", 6, 1, 0);
    const ToolResult result = ToolRunner::run({"movie", "load", "film.vlm"}, {diskWith(layout)});
    EXPECT_EQ("Inhaltsverzeichnis voll!", result.output);
    EXPECT_EQ(1, result.status);
}

TEST_F(RecordingCommandTest, NamesReachTheMessagesWithoutTheirControlBytes) {
    RecorderLayout layout(16);
    layout.addChain({6});
    layout.putSlot(1, "Krimi\x1B]0;pwned\x07\r\n00 Echt", 6, 1, 0);
    const std::string image = diskWith(layout);
    const std::string shown = "\"Krimi?]0;pwned???00 Echt\"";
    const ToolResult rip = ToolRunner::run({"audio", "rip", "1"}, {image}, temp.path());
    EXPECT_EQ(0u, rip.output.find("Rippen der Aufnahme 1 " + shown + "\n")) << rip.output;
    const ToolResult save = ToolRunner::run({"movie", "save", "1"}, {image}, temp.path());
    EXPECT_EQ(0u, save.output.find("Schreiben des Films " + shown + " in die Sicherungsdatei")) << save.output;
    const ToolResult erase = ToolRunner::run({"movie", "delete", "1"}, {image}, temp.path());
    EXPECT_EQ("Loeschen des Films " + shown + "\n", erase.output);
}

TEST(RecordingNumber, ReadLikeASignedDecimal) {
    EXPECT_EQ(7, DiskTool::recordingNumber("007"));
    EXPECT_EQ(12, DiskTool::recordingNumber("12abc"));
    EXPECT_EQ(3, DiskTool::recordingNumber("  +3"));
    EXPECT_EQ(-2, DiskTool::recordingNumber("-2"));
    EXPECT_EQ(-1, DiskTool::recordingNumber("film"));
    EXPECT_EQ(-1, DiskTool::recordingNumber(""));
    EXPECT_EQ(INT32_MIN, DiskTool::recordingNumber("-99999999999"));
}
}  // namespace
