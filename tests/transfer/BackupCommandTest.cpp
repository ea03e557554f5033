// save, load and delete as a user meets them: the built tool on recorder disk images, with the
// disk's bytes and the backup file checked after each command.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/BackupBytes.h"
#include "support/DiskCheck.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
constexpr std::uint64_t directoryStart = 5 * mebibyte;

std::uint64_t tableEntry(std::int32_t cluster) { return 512 + 4 * std::uint64_t(cluster); }
std::uint64_t slotStart(std::int32_t slot) { return directoryStart + 256 * std::uint64_t(slot); }

void put(std::string& bytes, std::uint64_t position, const std::string& part) { bytes.replace(position, part.size(), part); }

// "" when equal; otherwise where they first differ (whole megabytes are no use in a message).
std::string firstDifference(const std::string& expected, const std::string& actual) {
    std::size_t k = 0;
    while (k < expected.size() && k < actual.size() && expected[k] == actual[k]) ++k;
    if (k == expected.size() && k == actual.size()) return "";
    return "sizes " + std::to_string(expected.size()) + " and " + std::to_string(actual.size()) +
           ", first difference at byte " + std::to_string(k);
}

class BackupCommandTest : public ::testing::Test {
protected:
    // A signed image of `clusters` MiB with the layout; each of its data clusters holds bytes of its own.
    std::string diskWith(const RecorderLayout& layout, std::int32_t clusters) {
        const std::string image = temp.makeImage("disk.img", clusters * mebibyte, true);
        layout.writeTo(image);
        for (std::int32_t cluster = 6; cluster < clusters; ++cluster) {
            const std::string bytes = BackupBytes::cluster(cluster);
            TempDir::writeAt(image, cluster * mebibyte, bytes.data(), bytes.size());
        }
        return image;
    }

    // The tool runs in the temporary folder: backup files are made and named there.
    ToolResult tool(const std::vector<std::string>& words, const std::string& image) {
        return ToolRunner::run(words, {image}, temp.path());
    }

    std::string fileInFolder(const std::string& name) const { return TempDir::readAll(temp.file(name)); }
    void putFile(const std::string& name, const std::string& bytes) const { TempDir::writeAll(temp.file(name), bytes); }

    TempDir temp;
};

TEST_F(BackupCommandTest, SaveWritesHeaderEntryAndTheClustersInChainOrder) {
    RecorderLayout layout(16);
    layout.addChain({9, 7, 12});
    layout.putSlot(7, "Hoerspiel", 9, 2, 5);
    layout.addChain({6});
    layout.putSlot(6, "Nachbar", 6, 0, 10);
    const std::string image = diskWith(layout, 16);
    // Bytes behind the name and the reserved words travel unchanged.
    TempDir::writeAt(image, slotStart(7) + 12, "ABCD", 4);
    TempDir::writeAt(image, slotStart(7) + 240, "\x11\x22\x33\x44", 4);
    const std::vector<std::uint8_t> slot = TempDir::readAt(image, slotStart(7), 256);
    const std::string expectedFile = BackupBytes::header() +
                                     BackupBytes::swappedName(std::string(slot.begin(), slot.end())) +
                                     BackupBytes::cluster(9) + BackupBytes::cluster(7) + BackupBytes::cluster(12);
    const std::string diskBefore = TempDir::readAll(image);

    for (const char* number : {"7", "007"}) {
        std::remove(temp.file("Velmoran_7.vlm").c_str());
        const ToolResult result = tool({"movie", "save", number}, image);
        EXPECT_EQ("Schreiben des Films \"Hoerspiel\" in die Sicherungsdatei Velmoran_7.vlm\n..100\n", result.output);
        EXPECT_EQ(0, result.status);
        EXPECT_EQ("", firstDifference(expectedFile, fileInFolder("Velmoran_7.vlm"))) << number;
        EXPECT_EQ("", firstDifference(diskBefore, TempDir::readAll(image))) << number;
    }
}

TEST_F(BackupCommandTest, LoadPutsTheRecordingIntoTheLowestFreeSlotOnFreeClusters) {
    RecorderLayout layout(16);
    layout.addChain({6, 8});
    layout.putSlot(0, "Null", 6, 1, 0);
    layout.addChain({10, 11});
    layout.putSlot(1, "Eins", 10, 1, 1);
    layout.putSlot(3, "Drei", -1, 0, 0);
    const std::string image = diskWith(layout, 16);
    // Saved on another recorder: its first cluster there, a reserved word of its own.
    std::string entry = BackupBytes::entry("Vom anderen Recorder", 0x123, 2, 100);
    put(entry, 244, BackupBytes::word(0xA5A5A5A5));
    const std::string lastChunk(100, '\x7E');
    putFile("film.vlm", BackupBytes::header() + entry + BackupBytes::cluster(1) + BackupBytes::cluster(2) + lastChunk);

    // The free clusters 7, 9 and 12, linked; the last one holds zeros behind its 100 bytes.
    std::string expected = TempDir::readAll(image);
    put(expected, tableEntry(7), BackupBytes::word(9));
    put(expected, tableEntry(9), BackupBytes::word(12));
    put(expected, tableEntry(12), BackupBytes::word(0xFFFFFFFF));
    put(expected, 7 * mebibyte, BackupBytes::cluster(1));
    put(expected, 9 * mebibyte, BackupBytes::cluster(2));
    put(expected, 12 * mebibyte, lastChunk + std::string(mebibyte - lastChunk.size(), '\0'));
    std::string slot = entry;
    put(slot, 224, BackupBytes::word(7));
    put(expected, slotStart(2), BackupBytes::swappedName(slot));

    const ToolResult result = tool({"audio", "load", "film.vlm"}, image);
    EXPECT_EQ("Laden des Films \"Vom anderen Recorder\" aus der Sicherungsdatei film.vlm\n..100\n", result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", firstDifference(expected, TempDir::readAll(image)));
}

TEST_F(BackupCommandTest, DeleteFreesExactlyTheChainAndZeroesExactlyTheSlot) {
    RecorderLayout layout(16);
    layout.addChain({9, 7, 12});
    layout.putSlot(7, "Hoerspiel", 9, 2, 5);
    layout.addChain({6, 8});
    layout.putSlot(6, "Nachbar", 6, 1, 10);
    const std::string image = diskWith(layout, 16);
    std::string expected = TempDir::readAll(image);
    for (std::int32_t cluster : {9, 7, 12}) put(expected, tableEntry(cluster), BackupBytes::word(0));
    put(expected, slotStart(7), std::string(256, '\0'));

    const ToolResult result = tool({"movie", "delete", "7"}, image);
    EXPECT_EQ("Loeschen des Films \"Hoerspiel\"\n", result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ("", firstDifference(expected, TempDir::readAll(image)));
}

TEST_F(BackupCommandTest, SaveDeleteLoadSaveGivesTheSameBackupButItsFirstCluster) {
    RecorderLayout layout(16);
    layout.addChain({6});
    layout.putSlot(0, "Null", 6, 0, 1);
    layout.addChain({12, 8, 10});
    layout.putSlot(1, "Rundreise", 12, 2, 77);
    const std::string image = diskWith(layout, 16);

    EXPECT_EQ(0, tool({"movie", "save", "1"}, image).status);
    const std::string first = fileInFolder("Velmoran_1.vlm");
    EXPECT_EQ(0, tool({"movie", "delete", "1"}, image).status);
    EXPECT_EQ(0, tool({"movie", "load", "Velmoran_1.vlm"}, image).status);
    EXPECT_EQ(0, tool({"movie", "save", "1"}, image).status);
    const std::string second = fileInFolder("Velmoran_1.vlm");

    ASSERT_EQ(284 + 3 * mebibyte, second.size());
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ("", firstDifference(first.substr(0, 252), second.substr(0, 252)));
    EXPECT_EQ(BackupBytes::word(7), second.substr(252, 4));  // the lowest free clusters now: 7, 8, 9
    EXPECT_EQ("", firstDifference(first.substr(256), second.substr(256)));
}

TEST_F(BackupCommandTest, LoadRefusesUnusableBackupFilesAndLeavesTheDiskAlone) {
    RecorderLayout layout(16);
    layout.addChain({6});
    layout.putSlot(0, "Null", 6, 0, 1);
    const std::string image = diskWith(layout, 16);
    const std::string diskBefore = TempDir::readAll(image);
    const std::string header = BackupBytes::header();
    const std::string entry = BackupBytes::entry("Neu", 0x40, 1, 0);
    const std::string data = BackupBytes::cluster(1);
    std::string otherText = header;
    otherText[18] = '-';
    std::string byte27 = header;
    byte27[27] = ' ';
    struct Case {
        const char* file;
        std::string bytes;  // empty: no such file
        std::string output;
    };
    const Case cases[] = {
        {"fehlt.vlm", "", "Datei fehlt.vlm konnte nicht geoeffnet werden!\n"},
        {"zehn.vlm", header.substr(0, 10), "Nicht ausreichende Bytes verf\xFCgbar beim Lesen der Datei zehn.vlm!\n"},
        {"fremd.vlm", otherText + entry + data, "Datei fremd.vlm ist keine g\xFCltige Sicherungsdatei!\n"},
        {"byte27.vlm", byte27 + entry + data, "Datei byte27.vlm ist keine g\xFCltige Sicherungsdatei!\n"},
        {"kurz.vlm", header + entry.substr(0, 100),
         "Laengenfehler beim Lesen des Entrys 1!\nInhalt der Sicherungsdatei kurz.vlm ung\xFCltig!\n"},
        {"leer.vlm", header + entry,
         "Laden des Films \"Neu\" aus der Sicherungsdatei leer.vlm\nInhalt der Sicherungsdatei leer.vlm ung\xFCltig!\n"},
        // It would read as a free slot while its clusters stayed allocated.
        {"null.vlm", header + std::string(4, '\0') + entry.substr(4) + data,
         "Inhalt der Sicherungsdatei null.vlm ung\xFCltig!\n"},
    };
    for (const Case& c : cases) {
        if (!c.bytes.empty()) putFile(c.file, c.bytes);
        const ToolResult result = tool({"movie", "load", c.file}, image);
        EXPECT_EQ(c.output, result.output) << c.file;
        EXPECT_EQ(1, result.status) << c.file;
        EXPECT_EQ("", firstDifference(diskBefore, TempDir::readAll(image))) << c.file;
    }
#ifndef _WIN32
    // A folder opens for reading here, but its first bytes cannot be read.
    std::filesystem::create_directory(temp.file("ordner.vlm"));
    const ToolResult folder = tool({"movie", "load", "ordner.vlm"}, image);
    EXPECT_EQ("Fehler beim Lesen der Datei ordner.vlm!\n", folder.output);
    EXPECT_EQ(1, folder.status);
    EXPECT_EQ("", firstDifference(diskBefore, TempDir::readAll(image)));
#endif
}

TEST_F(BackupCommandTest, LoadThatRunsOutOfClustersChangesNeitherTableNorDirectory) {
    struct Case {
        std::int32_t tableClusters;  // data clusters 6 to tableClusters - 1 in the table
        std::int32_t driveClusters;
        std::string message;
    };
    // Free are 7 and 9, on a drive that holds them all; then 9 to 15 of which only 9 is on the drive.
    const Case cases[] = {
        {10, 10, "Kein freier Cluster mehr auf der Festplatte, die Sicherungsdatei gross.vlm wurde nicht geladen!\n"},
        {16, 10,
         "Schreiben von Cluster 10 auf die Festplatte fehlgeschlagen, die Sicherungsdatei gross.vlm wurde nicht "
         "geladen!\n"},
    };
    putFile("gross.vlm", BackupBytes::header() + BackupBytes::entry("Gross", 6, 99, 0) + BackupBytes::cluster(1) +
                             BackupBytes::cluster(2) + BackupBytes::cluster(3));
    for (const Case& c : cases) {
        RecorderLayout layout(c.tableClusters);
        layout.addChain({6, 8});
        layout.putSlot(0, "Null", 6, 1, 0);
        if (c.tableClusters > 10) layout.addChain({7});
        const std::string image = diskWith(layout, c.driveClusters);
        const std::vector<std::uint8_t> tableAndDirectory = TempDir::readAt(image, 0, 6 * mebibyte);
        const ToolResult result = tool({"movie", "load", "gross.vlm"}, image);
        EXPECT_EQ("Laden des Films \"Gross\" aus der Sicherungsdatei gross.vlm\n" + c.message, result.output);
        EXPECT_EQ(1, result.status);
        EXPECT_TRUE(tableAndDirectory == TempDir::readAt(image, 0, 6 * mebibyte)) << c.message;
    }
}

TEST_F(BackupCommandTest, SaveAndDeleteOfADamagedChainStopAtItsValidPart) {
    struct Case {
        std::vector<std::pair<std::int32_t, std::int32_t>> links;
        std::int32_t first;
        std::vector<std::int32_t> validPart;
        std::string breaksAt;
    };
    const Case cases[] = {
        {{{6, 7}, {7, 6}}, 6, {6, 7}, "Clusterkette fehlerhaft: Cluster 7 verweist auf Cluster 6"},
        {{{6, 7}}, 6, {6}, "Clusterkette fehlerhaft: Cluster 6 verweist auf Cluster 7"},  // 7 is free
        {{{6, 3}}, 6, {6}, "Clusterkette fehlerhaft: Cluster 6 verweist auf Cluster 3"},
        {{{6, 0x200000}}, 6, {6}, "Clusterkette fehlerhaft: Cluster 6 verweist auf Cluster 2097152"},
        {{{6, -5}}, 6, {6}, "Clusterkette fehlerhaft: Cluster 6 verweist auf Cluster -5"},
        {{}, 2, {}, "Clusterkette fehlerhaft: erster Cluster 2 ungueltig"},
    };
    for (const Case& c : cases) {
        RecorderLayout layout(16);
        for (const auto& link : c.links) layout.setEntry(link.first, link.second);
        layout.putSlot(3, "Kaputt", c.first, 99, 0);
        const std::string image = diskWith(layout, 16);
        std::string saved = BackupBytes::header() + BackupBytes::entry("Kaputt", c.first, 99, 0);
        std::string deleted = TempDir::readAll(image);
        for (std::int32_t cluster : c.validPart) {
            saved += BackupBytes::cluster(cluster);
            put(deleted, tableEntry(cluster), BackupBytes::word(0));
        }
        put(deleted, slotStart(3), std::string(256, '\0'));

        const ToolResult save = tool({"movie", "save", "3"}, image);
        EXPECT_EQ("Schreiben des Films \"Kaputt\" in die Sicherungsdatei Velmoran_3.vlm\n" + c.breaksAt +
                      ", die Sicherungsdatei Velmoran_3.vlm ist unvollstaendig!\n",
                  save.output);
        EXPECT_EQ(1, save.status) << c.breaksAt;
        EXPECT_EQ("", firstDifference(saved, fileInFolder("Velmoran_3.vlm"))) << c.breaksAt;

        const ToolResult erase = tool({"movie", "delete", "3"}, image);
        EXPECT_EQ("Loeschen des Films \"Kaputt\"\n" + c.breaksAt + ", nur der gueltige Teil wird freigegeben!\n",
                  erase.output);
        EXPECT_EQ(0, erase.status) << c.breaksAt;
        EXPECT_EQ("", firstDifference(deleted, TempDir::readAll(image))) << c.breaksAt;
    }
}

TEST_F(BackupCommandTest, ADeleteLeavesWhatAnotherRecordingsChainRunsThrough) {
    RecorderLayout layout(16);
    layout.addChain({6, 7, 8});
    layout.putSlot(0, "Ganz", 6, 2, 0);
    layout.setEntry(9, 7);  // a damaged disk: this chain runs into the one above
    layout.putSlot(1, "Verbunden", 9, 2, 0);
    const std::string image = diskWith(layout, 16);
    const ToolResult erase = tool({"movie", "delete", "1"}, image);
    EXPECT_EQ("Loeschen des Films \"Verbunden\"\n"
              "2 Cluster der Aufnahme gehoeren auch zu anderen Aufnahmen und bleiben belegt!\n",
              erase.output);
    EXPECT_EQ(0, erase.status);
    const std::string after = TempDir::readAll(image);
    const std::vector<std::uint8_t> drive(after.begin(), after.end());
    const DiskCheck check(drive);
    EXPECT_TRUE(check.problems().empty());
    EXPECT_EQ((std::vector<std::int32_t>{6, 7, 8}), check.chains().at(0));
    EXPECT_EQ(0u, check.chains().count(1));
    EXPECT_EQ(0, check.entry(9));
}

TEST_F(BackupCommandTest, ABackupThatDoesNotFitOnTheFileSystemFails) {
    if (!ToolRunner::canLimitFileSize()) GTEST_SKIP() << "file sizes cannot be limited on this system";
    RecorderLayout layout(16);
    layout.addChain({9, 7, 12});
    layout.putSlot(7, "Hoerspiel", 9, 99, 0);
    const std::string image = diskWith(layout, 16);
    const std::uint64_t wholeFile = 284 + 3 * mebibyte;
    // Full within the second cluster, and one byte short of the whole file (its last bytes
    // may only leave the stream's buffer when the file is closed).
    for (const std::uint64_t limit : {284 + mebibyte + 1000, wholeFile - 1}) {
        const ToolResult result = ToolRunner::runWithFileSizeLimit({"movie", "save", "7"}, {image}, temp.path(), limit);
        EXPECT_EQ("Schreiben des Films \"Hoerspiel\" in die Sicherungsdatei Velmoran_7.vlm\n"
                  "Schreiben in Datei Velmoran_7.vlm fehlgeschlagen!\n",
                  result.output)
            << limit;
        EXPECT_EQ(1, result.status) << limit;
    }
}
}  // namespace

namespace {
#ifndef _WIN32
TEST(BackupMemory, SaveAndLoadDoNotGrowWithTheRecording) {
    TempDir temp;
    const std::int32_t clusters = 40;
    const std::string image = temp.makeImage("disk.img", clusters * mebibyte, true);
    RecorderLayout layout(clusters);
    layout.addChain({6});
    layout.putSlot(0, "Kurz", 6, 1, 0);
    std::vector<std::int32_t> chain;
    for (std::int32_t cluster = 7; cluster < 23; ++cluster) chain.push_back(cluster);
    layout.addChain(chain);
    layout.putSlot(1, "Lang", 7, 16, 0);
    layout.writeTo(image);
    auto run = [&](const std::vector<std::string>& words) {
        const ToolResult result = ToolRunner::run(words, {image}, temp.path());
        EXPECT_EQ(0, result.status) << result.output;
        return result.peakMemoryKiB;
    };
    const long savedShort = run({"movie", "save", "0"});
    const long savedLong = run({"movie", "save", "1"});
    const long loadedShort = run({"movie", "load", "Velmoran_0.vlm"});
    const long loadedLong = run({"movie", "load", "Velmoran_1.vlm"});
    // Sixteen more clusters moved; the memory is the transfer buffer, the table and the directory.
    const long allowedGrowthKiB = 4 * 1024;
    EXPECT_LT(savedLong, savedShort + allowedGrowthKiB);
    EXPECT_LT(loadedLong, loadedShort + allowedGrowthKiB);
}
#endif
}  // namespace
