// Image, wipe and format through the front end on in-memory drives, for what only the fake
// drive can do: count the transfers, fail a chosen one, or be a Windows 9x drive.
#include "maint/DiskMaintenance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/CurrentFolder.h"
#include "support/InMemoryRecorder.h"
#include "support/TempDir.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;

// The drive calls after the last positioning at byte 0, which starts the image transfer.
std::vector<std::string> callsAfterRewind(const FakePlatform& fake) {
    const auto rewind = std::find(fake.calls.rbegin(), fake.calls.rend(), "SetFilePointer 0");
    return std::vector<std::string>(rewind.base(), fake.calls.end());
}

TEST(DiskMaintenance, ImageChunksMoveWithOneDiskCallEach) {
    TempDir temp;
    CurrentFolder here(temp.path());
    InMemoryRecorder saving(10, RecorderLayout(10));
    saving.drive()[7 * mebibyte] = 7;
    EXPECT_EQ(0, saving.run({"image", "save"}).status);
    // Ten clusters, then the read past the end.
    EXPECT_EQ(std::vector<std::string>(11, "ReadFile 1048576"), callsAfterRewind(saving.fake));

    InMemoryRecorder loading(10, RecorderLayout(10));
    EXPECT_EQ(0, loading.run({"image", "load"}).status);
    // Ten clusters, then the directory cluster again, which comes last.
    std::vector<std::string> writes(10, "WriteFile 1048576");
    writes.push_back("SetFilePointer 5242880");
    writes.push_back("WriteFile 1048576");
    EXPECT_EQ(writes, callsAfterRewind(loading.fake));
    EXPECT_TRUE(saving.drive() == loading.drive());
}

TEST(DiskMaintenance, AWriteErrorBeforeTheEndOfTheDiskFailsWipeAndFormat) {
    struct Case {
        const char* word;
        int failingWrite;  // the directory cluster, then cluster failingWrite - 2
        int cluster;
    };
    // The directory, cleared first; cluster 0; the directory cluster in the wipe; a data
    // cluster that can still be read afterwards.
    for (const Case& c : {Case{"wipe", 1, 5}, Case{"wipe", 2, 0}, Case{"format", 7, 5}, Case{"wipe", 10, 8},
                          Case{"format", 10, 8}}) {
        InMemoryRecorder recorder(10, RecorderLayout(10));
        recorder.fake.failWriteAt = c.failingWrite;
        const ToolResult result = recorder.run({"image", c.word});
        EXPECT_EQ("Schreiben auf die Festplatte in Cluster " + std::to_string(c.cluster) +
                      " fehlgeschlagen!\n",
                  result.output)
            << c.word;
        EXPECT_EQ(1, result.status) << c.word;
        EXPECT_EQ(c.failingWrite, recorder.fake.writeCount) << c.word << ": no table after a failed wipe";
    }
}

TEST(DiskMaintenance, FormatFailsWhenItsTableCannotBeReadOrWritten) {
    InMemoryRecorder unread(10, RecorderLayout(10));
    unread.fake.shortReadAt = 3;  // after the probe, cluster 1 of the table comes half
    const ToolResult refused = unread.run({"image", "format"});
    EXPECT_EQ("Belegungstabelle (Cluster 0 bis 4) nicht vollstaendig lesbar, keine Formatierung!\n", refused.output);
    EXPECT_EQ(1, refused.status);
    EXPECT_EQ(0, unread.fake.writeCount);

    InMemoryRecorder unwritten(10, RecorderLayout(10));
    unwritten.fake.failWriteAt = 13;  // ten clusters wiped, the write beyond them, then the table
    const ToolResult failed = unwritten.run({"image", "format"});
    EXPECT_EQ("Schreiben der Belegungstabelle (Cluster 0 bis 4) fehlgeschlagen!\n", failed.output);
    EXPECT_EQ(1, failed.status);
}

TEST(DiskMaintenance, AnImageEndingInsideASectorReachesAWindows9xDiskWhole) {
    TempDir temp;
    CurrentFolder here(temp.path());
    // Ending in a data cluster, the rest of the sector keeps the disk's bytes; ending in the
    // directory cluster, the rest of that cluster stays cleared, as the load clears it first.
    for (const std::size_t clusters : {6, 5}) {
        InMemoryRecorder recorder(8, RecorderLayout(8));
        recorder.fake.vwin32Present = true;  // sectors move one by one through the library
        std::string bytes(clusters * mebibyte + 1000, 'v');
        std::memcpy(&bytes[0], "velmoran hd V1.02", 18);
        TempDir::writeAll(DiskMaintenance::imageFileName, bytes);
        std::fill_n(recorder.drive().begin() + std::ptrdiff_t(clusters * mebibyte), 1024, std::uint8_t{'d'});
        std::vector<std::uint8_t> expected = recorder.drive();
        std::fill_n(expected.begin() + 5 * mebibyte, mebibyte, std::uint8_t{0});
        std::copy(bytes.begin(), bytes.end(), expected.begin());

        const ToolResult loaded = recorder.run({"image", "load"});
        EXPECT_EQ("Laden des Image\n", loaded.output);
        EXPECT_EQ(0, loaded.status);
        EXPECT_TRUE(expected == recorder.drive()) << clusters;
    }
}
}  // namespace
