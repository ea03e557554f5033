// Disk faults during save, load and delete, through the in-memory drive: whole commands run
// in-process, with the fault ordered at the k-th read or write of the drive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/BackupBytes.h"
#include "support/CurrentFolder.h"
#include "support/FailingReads.h"
#include "support/InMemoryRecorder.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::size_t directoryStart = 5 * mebibyte;

// Slot 0 on cluster 7, slot 3 "Sicherung" on the chain 8, 6; clusters 9 to 15 free.
RecorderLayout recorderLayout() {
    RecorderLayout layout(16);
    layout.addChain({7});
    layout.putSlot(0, "Null", 7, 0, 1);
    layout.addChain({8, 6});
    layout.putSlot(3, "Sicherung", 8, 99, 0);
    return layout;
}

std::string bytesOf(const std::vector<std::uint8_t>& drive, std::size_t position, std::size_t length) {
    return std::string(drive.begin() + std::ptrdiff_t(position), drive.begin() + std::ptrdiff_t(position + length));
}

std::string tableAndDirectory(InMemoryRecorder& recorder) { return bytesOf(recorder.drive(), 0, 6 * mebibyte); }

class TransferFaultTest : public ::testing::Test {
protected:
    TransferFaultTest() {
        TempDir::writeAll(backup, BackupBytes::header() + BackupBytes::entry("Film", 0x55, 99, 0) +
                                      BackupBytes::cluster(1) + BackupBytes::cluster(2) + BackupBytes::cluster(3));
    }

    // Disk and directory read before the command, so that the next read of the drive is the
    // table's first cluster.
    static void readDirectory(InMemoryRecorder& recorder) {
        recorder.disk.create();
        recorder.directory.load();
    }

    std::string loading() const { return "Laden des Films \"Film\" aus der Sicherungsdatei " + backup + "\n"; }
    std::string notLoaded() const { return ", die Sicherungsdatei " + backup + " wurde nicht geladen!\n"; }

    TempDir temp;
    const std::string backup = temp.file("film.vlm");
};

TEST_F(TransferFaultTest, ALoadStoppedByAClusterWriteGivesItsClustersBack) {
    for (const bool shortWrite : {false, true}) {
        InMemoryRecorder recorder(16, recorderLayout());
        // The second cluster, 10, does not reach the disk.
        (shortWrite ? recorder.fake.shortWriteAt : recorder.fake.failWriteAt) = 2;
        const std::string before = tableAndDirectory(recorder);
        const ToolResult result = recorder.run({"movie", "load", backup});
        EXPECT_EQ(loading() + "Schreiben von Cluster 10 auf die Festplatte fehlgeschlagen" + notLoaded(), result.output);
        EXPECT_EQ(1, result.status);
        EXPECT_EQ(2, recorder.fake.writeCount);
        EXPECT_TRUE(before == tableAndDirectory(recorder));
        EXPECT_EQ(0, recorder.table.entryOf(9));
        EXPECT_EQ(0, recorder.table.entryOf(10));
        EXPECT_EQ(nullptr, recorder.directory.entryAt(1));
    }
}

#ifdef __linux__
TEST_F(TransferFaultTest, ALoadStoppedByAReadErrorInTheBackupFileLeavesTheDiskAsItWas) {
    InMemoryRecorder recorder(16, recorderLayout());
    const std::string before = tableAndDirectory(recorder);
    // The first cluster arrives whole, the second breaks off.
    FailingReads failing(backup, 284 + mebibyte + 1000);
    const ToolResult result = recorder.run({"movie", "load", backup});
    EXPECT_EQ(loading() + "Lesen der Sicherungsdatei fehlgeschlagen" + notLoaded(), result.output);
    EXPECT_EQ(1, result.status);
    EXPECT_TRUE(before == tableAndDirectory(recorder));
    EXPECT_EQ(0, recorder.table.entryOf(9));
    EXPECT_EQ(nullptr, recorder.directory.entryAt(1));
}
#endif

TEST_F(TransferFaultTest, ALoadThatCannotWriteTheTableOrTheEntryFails) {
    struct Case {
        int failingWrite;  // three clusters, the table cluster that changed, the entry's sector
        std::string message;
        bool tableWritten;
    };
    const Case cases[] = {
        {4, "Schreiben der Clustertabelle auf die Festplatte fehlgeschlagen" + notLoaded(), false},
        {5, "Schreiben des Verzeichniseintrags 1 auf die Festplatte fehlgeschlagen" + notLoaded(), true},
    };
    for (const Case& c : cases) {
        InMemoryRecorder recorder(16, recorderLayout());
        recorder.fake.failWriteAt = c.failingWrite;
        const std::string directory = bytesOf(recorder.drive(), directoryStart, mebibyte);
        const ToolResult result = recorder.run({"movie", "load", backup});
        EXPECT_EQ(loading() + c.message, result.output);
        EXPECT_EQ(1, result.status);
        EXPECT_TRUE(directory == bytesOf(recorder.drive(), directoryStart, mebibyte)) << c.failingWrite;
        EXPECT_EQ(nullptr, recorder.directory.entryAt(1));
        // Written, the table holds the clusters without an entry: space lost, nothing else.
        EXPECT_EQ(BackupBytes::word(c.tableWritten ? 10 : 0), bytesOf(recorder.drive(), 512 + 4 * 9, 4)) << c.failingWrite;
        EXPECT_EQ(c.tableWritten ? 10 : 0, recorder.table.entryOf(9)) << c.failingWrite;
    }
}

TEST_F(TransferFaultTest, AnUnreadableTableStopsLoadAndDeleteBeforeTheyWrite) {
    const std::string message =
        "Clustertabelle (Cluster 0 bis 4) konnte nicht vollstaendig gelesen werden, die Festplatte bleibt "
        "unveraendert!\n";
    for (const bool shortRead : {false, true}) {
        for (const bool erase : {false, true}) {
            InMemoryRecorder recorder(16, recorderLayout());
            readDirectory(recorder);
            (shortRead ? recorder.fake.shortReadAt : recorder.fake.failReadAt) = recorder.fake.readCount + 3;
            const ToolResult result =
                erase ? recorder.run({"movie", "delete", "3"}) : recorder.run({"movie", "load", backup});
            EXPECT_EQ((erase ? "Loeschen des Films \"Sicherung\"\n" : "") + message, result.output);
            EXPECT_EQ(1, result.status);
            EXPECT_EQ(0, recorder.fake.writeCount) << shortRead << erase;
        }
    }
}

TEST_F(TransferFaultTest, ALoadPassesOverASlotWhoseSectorCannotBeRead) {
    RecorderLayout layout = recorderLayout();
    layout.putSlot(1, "Unlesbar", 9, 0, 1);
    InMemoryRecorder recorder(16, layout);
    recorder.fake.unreadableSectors[0] = {10240};  // slots 0 and 1
    const std::string slots = bytesOf(recorder.drive(), directoryStart, 512);
    const ToolResult result = recorder.run({"movie", "load", backup});
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_TRUE(slots == bytesOf(recorder.drive(), directoryStart, 512));
    ASSERT_NE(nullptr, recorder.directory.entryAt(2));
    EXPECT_EQ("Film", recorder.directory.entryAt(2)->name());
}

TEST_F(TransferFaultTest, ADeleteClearsTheEntryBeforeItWritesTheTable) {
    const std::string deleting = "Loeschen des Films \"Sicherung\"\n";
    const std::vector<std::uint8_t> slotBytes = RecorderLayout::slotOnDisk("Sicherung", 8, 0, 99, 0);
    const std::string slot3(slotBytes.begin(), slotBytes.end());
    struct Case {
        int failingWrite;  // the entry's sector, then the five table clusters
        std::string message;
        bool slotCleared;
    };
    const Case cases[] = {
        {1, "Loeschen des Verzeichniseintrags 3 auf der Festplatte fehlgeschlagen!\n", false},
        {2, "Schreiben der Clustertabelle auf die Festplatte fehlgeschlagen, die Cluster der Aufnahme bleiben belegt!\n",
         true},
    };
    for (const Case& c : cases) {
        InMemoryRecorder recorder(16, recorderLayout());
        recorder.fake.failWriteAt = c.failingWrite;
        const std::string table = bytesOf(recorder.drive(), 0, directoryStart);
        const ToolResult result = recorder.run({"movie", "delete", "3"});
        EXPECT_EQ(deleting + c.message, result.output);
        EXPECT_EQ(1, result.status);
        // Never a slot naming clusters that the disk's table shows free.
        EXPECT_TRUE(table == bytesOf(recorder.drive(), 0, directoryStart)) << c.failingWrite;
        EXPECT_EQ(c.slotCleared ? std::string(256, '\0') : slot3, bytesOf(recorder.drive(), directoryStart + 3 * 256, 256));
    }
}

TEST_F(TransferFaultTest, ASaveWhoseClusterCannotBeReadWholeFailsAndKeepsWhatItRead) {
    for (const bool shortRead : {false, true}) {
        InMemoryRecorder recorder(16, recorderLayout());
        for (const std::int32_t cluster : {8, 6}) {
            const std::string bytes = BackupBytes::cluster(cluster);
            std::copy(bytes.begin(), bytes.end(), recorder.drive().begin() + std::ptrdiff_t(cluster * mebibyte));
        }
        readDirectory(recorder);
        recorder.table.load();
        // The chain's second cluster, 6: short once, or with a bad sector that no retry reads.
        if (shortRead)
            recorder.fake.shortReadAt = recorder.fake.readCount + 2;
        else
            recorder.fake.unreadableSectors[0] = {6 * mebibyte / 512 + 1};
        recorder.fake.drivesOfUnknownLength = {0};  // else the cluster is read around the fault
        CurrentFolder folder(temp.path());
        const ToolResult result = recorder.run({"movie", "save", "3"});
        EXPECT_EQ("Schreiben des Films \"Sicherung\" in die Sicherungsdatei Velmoran_3.vlm\n"
                  "Cluster 6 konnte nicht vollstaendig gelesen werden, die Sicherungsdatei Velmoran_3.vlm ist "
                  "unvollstaendig!\n",
                  result.output);
        EXPECT_EQ(1, result.status);
        const std::string partOfSix = shortRead ? BackupBytes::cluster(6).substr(0, mebibyte / 2) : "";
        EXPECT_TRUE(BackupBytes::header() + BackupBytes::entry("Sicherung", 8, 99, 0) + BackupBytes::cluster(8) +
                        partOfSix ==
                    TempDir::readAll(temp.file("Velmoran_3.vlm")))
            << shortRead;
    }
}

TEST_F(TransferFaultTest, ASaveWhoseChainEndsAtAnUnreadTableEntryFails) {
    InMemoryRecorder recorder(16, recorderLayout());
    readDirectory(recorder);
    // Table cluster 0 holds the entries of 8 and 6; unread, they stand as chain ends.
    recorder.fake.failReadAt = recorder.fake.readCount + 1;
    CurrentFolder folder(temp.path());
    const ToolResult result = recorder.run({"movie", "save", "3"});
    EXPECT_EQ("Schreiben des Films \"Sicherung\" in die Sicherungsdatei Velmoran_3.vlm\n"
              "Eintrag von Cluster 8 in der Clustertabelle nicht lesbar, die Sicherungsdatei Velmoran_3.vlm ist "
              "moeglicherweise unvollstaendig!\n",
              result.output);
    EXPECT_EQ(1, result.status);
    EXPECT_EQ(284 + mebibyte, TempDir::readAll(temp.file("Velmoran_3.vlm")).size());
}

TEST_F(TransferFaultTest, ASaveFromADriveThatTakesOnlyAlignedBuffersIsWhole) {
    CurrentFolder folder(temp.path());
    for (const bool lengthKnown : {true, false}) {
        SCOPED_TRACE(lengthKnown ? "drive of known length" : "drive of unknown length");
        InMemoryRecorder recorder(16, recorderLayout());
        recorder.drive()[8 * mebibyte] = 0x88;
        recorder.drive()[9 * mebibyte - 1] = 0x89;  // carried in front of cluster 6
        recorder.drive()[6 * mebibyte] = 0x66;
        // The save's buffer has the cluster on a 4-byte boundary only.
        recorder.fake.bufferAlignment = 16;
        if (!lengthKnown) recorder.fake.drivesOfUnknownLength = {0};
        const ToolResult result = recorder.run({"movie", "save", "3"});
        EXPECT_EQ(0, result.status) << result.output;
        const std::string file = TempDir::readAll(temp.file("Velmoran_3.vlm"));
        ASSERT_EQ(284 + 2 * mebibyte, file.size());
        EXPECT_TRUE(file.substr(284) == bytesOf(recorder.drive(), 8 * mebibyte, mebibyte) +
                                            bytesOf(recorder.drive(), 6 * mebibyte, mebibyte));
    }
}

TEST_F(TransferFaultTest, SaveAndLoadMoveEachClusterWithOneDiskCall) {
    CurrentFolder folder(temp.path());
    InMemoryRecorder saving(16, recorderLayout());
    readDirectory(saving);
    saving.table.load();
    saving.fake.calls.clear();
    EXPECT_EQ(0, saving.run({"movie", "save", "3"}).status);
    EXPECT_EQ(std::vector<std::string>(2, "ReadFile 1048576"), saving.fake.callsStartingWith("ReadFile"));
    EXPECT_TRUE(saving.fake.callsStartingWith("WriteFile").empty());

    InMemoryRecorder loading(16, recorderLayout());
    readDirectory(loading);
    loading.table.load();
    loading.fake.calls.clear();
    EXPECT_EQ(0, loading.run({"movie", "load", backup}).status);
    // Three clusters, the one table cluster that changed, the entry's sector (read first, for
    // its other slot).
    std::vector<std::string> writes(4, "WriteFile 1048576");
    writes.push_back("WriteFile 512");
    EXPECT_EQ(writes, loading.fake.callsStartingWith("WriteFile"));
    EXPECT_EQ(std::vector<std::string>{"ReadFile 512"}, loading.fake.callsStartingWith("ReadFile"));
}
}  // namespace
