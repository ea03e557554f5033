// Sequential reading of a recording's cluster chain, the way the disk rip takes its stream.
#include "fs/Recording.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/Directory.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::uint32_t mebibyte = 1u << 20;

// A 16 MiB disk on a fake drive whose data clusters hold their own number in every byte.
class RecordingReadTest : public ::testing::Test {
protected:
    void makeDisk(const RecorderLayout& layout) {
        std::vector<std::uint8_t>& drive = fake.addDrive(0, 16u * mebibyte);
        for (std::uint32_t cluster = 6; cluster < 16; ++cluster)
            std::fill(drive.begin() + cluster * mebibyte, drive.begin() + (cluster + 1) * mebibyte, std::uint8_t(cluster));
        layout.copyInto(drive);
        fake.putSignature(0);
        directory.load();
    }

    FakePlatform fake;
    RecorderDisk disk{&fake};
    ClusterTable table{disk};
    Directory directory{disk, table};
};

TEST_F(RecordingReadTest, RequestsCrossOneClusterBoundaryAndEndWithTheChain) {
    RecorderLayout layout(16);
    layout.addChain({9, 7});
    layout.putSlot(1, "Zwei Cluster", 9, 5, 0);  // longer than its chain
    layout.addChain({11, 12});
    layout.setEntry(12, 11);  // a loop
    layout.putSlot(2, "Schleife", 11, 100, 0);
    makeDisk(layout);

    Recording recording(directory, 1);
    ASSERT_TRUE(recording.startReading());
    std::vector<std::uint8_t> buffer(mebibyte);
    ASSERT_EQ(mebibyte - 100, recording.readBytes(buffer.data(), mebibyte - 100));
    ASSERT_EQ(8196u, recording.readBytes(buffer.data(), 8196));
    EXPECT_EQ(std::vector<std::uint8_t>(100, 9), std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + 100));
    EXPECT_EQ(std::vector<std::uint8_t>(8096, 7), std::vector<std::uint8_t>(buffer.begin() + 100, buffer.begin() + 8196));
    // The request that runs past the chain's end yields nothing, nor do later ones.
    EXPECT_EQ(0u, recording.readBytes(buffer.data(), mebibyte));
    EXPECT_EQ(0u, recording.readBytes(buffer.data(), 1));
    EXPECT_FALSE(recording.readFailed());

    // A looping chain ends where it would come back, and says so: the recording is not whole.
    Recording looping(directory, 2);
    ASSERT_TRUE(looping.startReading());
    EXPECT_EQ(mebibyte, looping.readBytes(buffer.data(), mebibyte));
    EXPECT_EQ(mebibyte, looping.readBytes(buffer.data(), mebibyte));
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0u, looping.readBytes(buffer.data(), mebibyte));
    std::fflush(stdout);
    EXPECT_EQ("Clusterkette fehlerhaft: Cluster 12 verweist auf Cluster 11!", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(looping.readFailed());
}

TEST_F(RecordingReadTest, AChainThatStartsOnNoValidClusterIsReported) {
    RecorderLayout layout(16);
    layout.putSlot(3, "Reserviert", 3, 1, 0);
    makeDisk(layout);
    Recording recording(directory, 3);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(recording.startReading());
    std::fflush(stdout);
    EXPECT_EQ("Clusterkette fehlerhaft: erster Cluster 3 ungueltig!", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(recording.readFailed());
}

TEST_F(RecordingReadTest, AnUnreadableFirstClusterIsReported) {
    RecorderLayout layout(16);
    layout.addChain({6, 8});
    layout.putSlot(2, "Lesefehler", 6, 2, 0);
    makeDisk(layout);
    Recording recording(directory, 2);
    table.load();
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    fake.failReadAt = fake.readCount + 1;
    fake.drivesOfUnknownLength = {0};  // else the cluster is read again in pieces
    EXPECT_FALSE(recording.startReading());
    std::fflush(stdout);
    EXPECT_EQ("Cluster konnte nicht vollstaendig gelesen werden!", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(recording.readFailed());
}
}  // namespace
