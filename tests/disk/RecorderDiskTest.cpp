#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"

namespace {
const std::string noDiskMessage = "Keine Festplatte mit der Identifikation \"velmoran hd V1.02\" vorhanden!\n";

std::string create(RecorderDisk& disk) {
    testing::internal::CaptureStdout();
    disk.create();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> opened(const FakePlatform& fake) { return fake.callsStartingWith("CreateFileA \\\\.\\Phys"); }

TEST(RecorderDiskProbe, StopsAtTheFirstSignedDrive) {
    FakePlatform fake;
    fake.addDrive(0, 1u << 20);
    fake.addDrive(2, 8u << 20);
    fake.putSignature(2);
    fake.addDrive(3, 8u << 20);
    fake.putSignature(3);
    RecorderDisk disk(&fake);
    EXPECT_EQ("", create(disk));
    EXPECT_TRUE(disk.isFound());
    EXPECT_EQ((std::vector<std::string>{"CreateFileA \\\\.\\PhysicalDrive0", "CreateFileA \\\\.\\PhysicalDrive1",
                                        "CreateFileA \\\\.\\PhysicalDrive2"}),
              opened(fake));
    // Transfers reach drive 2.
    std::vector<std::uint8_t> sector(512);
    fake.drive(2)[4096] = 0x42;
    EXPECT_TRUE(disk.readSector(sector.data(), 4096, false));
    EXPECT_EQ(0x42, sector[0]);
}

TEST(RecorderDiskProbe, SignatureMustEndWithItsZeroByte) {
    FakePlatform fake;
    fake.addDrive(0, 1u << 20);
    fake.putSignature(0);
    fake.drive(0)[17] = '!';
    fake.addDrive(5, 1u << 20);
    fake.unopenableDrives.insert(5);
    RecorderDisk disk(&fake);
    EXPECT_EQ(noDiskMessage, create(disk));
    EXPECT_FALSE(disk.isFound());
    EXPECT_EQ(16u, opened(fake).size());
}

TEST(RecorderDiskProbe, UnreadableSectorZeroDoesNotMatch) {
    FakePlatform fake;
    fake.addDrive(0, 1u << 20);
    fake.putSignature(0);
    fake.failReadAt = 1;
    RecorderDisk disk(&fake);
    EXPECT_EQ(noDiskMessage, create(disk));
    EXPECT_FALSE(disk.isFound());
}

TEST(RecorderDiskProbe, UnusableDeviceMakesNoProbe) {
    FakePlatform fake;
    fake.vwin32Present = true;
    fake.libraryPresent = false;
    fake.addDrive(0, 1u << 20);
    fake.putSignature(0);
    RecorderDisk disk(&fake);
    EXPECT_EQ("Win9x-Fehler: Disk32.DLL nicht vorhanden!\n", create(disk));
    EXPECT_FALSE(disk.isFound());
    EXPECT_TRUE(opened(fake).empty());
}

TEST(RecorderDiskProbe, LibraryBackEndFindsTheDiskToo) {
    FakePlatform fake;
    fake.vwin32Present = true;
    fake.addDrive(1, 8u << 20);
    fake.putSignature(1);
    RecorderDisk disk(&fake);
    EXPECT_EQ("", create(disk));
    ASSERT_TRUE(disk.isFound());
    std::vector<std::uint8_t> cluster(RecorderDisk::clusterSize, 0x5A);
    EXPECT_TRUE(disk.writeCluster(cluster.data(), 6, false));
    EXPECT_EQ(0x5A, fake.drive(1)[6u << 20]);
    EXPECT_EQ("WriteDisk32 129 " + std::to_string(7 * 2048 - 1), fake.callsStartingWith("WriteDisk32").back());
}

TEST(RecorderDiskNoDisk, TransfersFailWithoutTouchingTheDevice) {
    FakePlatform fake;
    fake.addDrive(0, 8u << 20);
    RecorderDisk disk(&fake);
    create(disk);
    const std::size_t callsBefore = fake.calls.size();
    std::vector<std::uint8_t> cluster(RecorderDisk::clusterSize);
    EXPECT_EQ(0u, disk.readCluster(cluster.data(), 0, false));
    EXPECT_FALSE(disk.writeCluster(cluster.data(), 6, false));
    EXPECT_FALSE(disk.readSector(cluster.data(), 0, false));
    EXPECT_FALSE(disk.writeSector(cluster.data(), 0, false));
    EXPECT_EQ(0u, disk.readFromStart(cluster.data(), 512));
    EXPECT_EQ(0u, disk.readNext(cluster.data(), 512));
    EXPECT_FALSE(disk.rewind());
    EXPECT_FALSE(disk.writeNext(cluster.data(), 512));
    EXPECT_EQ(callsBefore, fake.calls.size());
    EXPECT_EQ(0x1200u, disk.alignToSector(0x1234));
}

class FoundDisk : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::uint8_t>& bytes = fake.addDrive(0, 10u << 20);
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
        fake.putSignature(0);
        create(disk);
        ASSERT_TRUE(disk.isFound());
    }
    std::vector<std::uint8_t>& bytes() { return fake.drive(0); }
    FakePlatform fake;
    RecorderDisk disk{&fake};
};

TEST_F(FoundDisk, SectorTransfersTakeTheSectorThatHoldsThePosition) {
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(disk.readSector(sector.data(), 5243136, false));
    EXPECT_EQ(0, std::memcmp(sector.data(), bytes().data() + 5242880, 512));

    ASSERT_TRUE(disk.readSector(sector.data(), 5242880, true));
    EXPECT_EQ(bytes()[5242883], sector[0]);
    EXPECT_EQ(bytes()[5242880], sector[3]);

    std::vector<std::uint8_t> out(512);
    for (int i = 0; i < 512; ++i) out[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(disk.writeSector(out.data(), 1024 + 300, true));
    EXPECT_EQ(3, bytes()[1024]);
    EXPECT_EQ(0, bytes()[1027]);
    EXPECT_EQ(3, out[0]);  // converted in place
    EXPECT_FALSE(disk.readSector(sector.data(), 10u << 20, false));
}

TEST_F(FoundDisk, ClusterTransfersCoverWholeMegabytes) {
    std::vector<std::uint8_t> cluster(RecorderDisk::clusterSize);
    ASSERT_EQ(RecorderDisk::clusterSize, disk.readCluster(cluster.data(), 6, false));
    EXPECT_EQ(0, std::memcmp(cluster.data(), bytes().data() + 6291456, cluster.size()));
    ASSERT_EQ(RecorderDisk::clusterSize, disk.readCluster(cluster.data(), 9, true));
    EXPECT_EQ(bytes()[9437184 + 3], cluster[0]);
    EXPECT_EQ(0u, disk.readCluster(cluster.data(), 10, false));

    std::vector<std::uint8_t> written(RecorderDisk::clusterSize);
    for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<std::uint8_t>(i & 0xFF);
    ASSERT_TRUE(disk.writeCluster(written.data(), 7, true));
    EXPECT_EQ(3, written[0]);  // the caller's buffer stays swapped
    EXPECT_EQ(3, bytes()[7340032]);
    EXPECT_EQ(0, bytes()[7340035]);
    EXPECT_FALSE(disk.writeCluster(written.data(), 10, false));
    EXPECT_FALSE(disk.writeCluster(written.data(), -1, false));
}

TEST_F(FoundDisk, ClustersBeyondFourGiBArePositionedInSixtyFourBits) {
    std::vector<std::uint8_t> cluster(RecorderDisk::clusterSize);
    fake.calls.clear();
    EXPECT_EQ(0u, disk.readCluster(cluster.data(), 4097, false));
    EXPECT_FALSE(disk.writeCluster(cluster.data(), 0x13FF7F, false));
    EXPECT_EQ((std::vector<std::string>{"SetFilePointer 4296015872", "SetFilePointer 1374254268416"}),
              fake.callsStartingWith("SetFilePointer"));
}

TEST_F(FoundDisk, FailedOrShortTransfersAreFailures) {
    std::vector<std::uint8_t> cluster(RecorderDisk::clusterSize);
    fake.failSeekAt = fake.seekCount + 1;
    EXPECT_EQ(0u, disk.readCluster(cluster.data(), 6, false));
    fake.shortReadAt = fake.readCount + 1;
    EXPECT_EQ(RecorderDisk::clusterSize / 2, disk.readCluster(cluster.data(), 6, false));
    fake.shortReadAt = fake.readCount + 1;
    EXPECT_FALSE(disk.readSector(cluster.data(), 1024, false));
    fake.shortWriteAt = fake.writeCount + 1;
    EXPECT_FALSE(disk.writeCluster(cluster.data(), 6, false));
    fake.failSeekAt = fake.seekCount + 1;
    EXPECT_FALSE(disk.writeSector(cluster.data(), 1024, false));
}

TEST_F(FoundDisk, TheDriveReportKeepsTheRecorderDiskCurrent) {
    fake.addDrive(1, 1u << 20);
    fake.addDrive(2, 1u << 20);
    disk.driveReport();
    std::vector<std::uint8_t> sector(512);
    ASSERT_TRUE(disk.readSector(sector.data(), 4096, false));
    EXPECT_EQ(0, std::memcmp(sector.data(), bytes().data() + 4096, 512));
}

TEST_F(FoundDisk, SequentialTransfersRunFromTheStart) {
    std::vector<std::uint8_t> chunk(RecorderDisk::clusterSize);
    ASSERT_EQ(RecorderDisk::clusterSize, disk.readFromStart(chunk.data(), RecorderDisk::clusterSize));
    EXPECT_EQ(0, std::memcmp(chunk.data(), RecorderDisk::diskSignature, RecorderDisk::signatureSize));
    ASSERT_EQ(RecorderDisk::clusterSize, disk.readNext(chunk.data(), RecorderDisk::clusterSize));
    EXPECT_EQ(bytes()[1u << 20], chunk[0]);

    std::fill(chunk.begin(), chunk.end(), 0);
    ASSERT_TRUE(disk.rewind());
    int writes = 0;
    while (disk.writeNext(chunk.data(), RecorderDisk::clusterSize)) ++writes;
    EXPECT_EQ(10, writes);
    EXPECT_EQ(0, bytes().back());
}

TEST(SwapWords, ReversesWholeGroupsOnly) {
    std::uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    RecorderDisk::swapWords(bytes, 8, false);
    EXPECT_EQ(1, bytes[0]);
    RecorderDisk::swapWords(bytes, 8, true);
    const std::uint8_t swapped[10] = {4, 3, 2, 1, 8, 7, 6, 5, 9, 10};
    EXPECT_EQ(0, std::memcmp(swapped, bytes, 10));
    // A length that is not a multiple of 4 leaves the partial group and everything past it alone.
    std::uint8_t partial[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    RecorderDisk::swapWords(partial, 7, true);
    const std::uint8_t expected[10] = {4, 3, 2, 1, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(0, std::memcmp(expected, partial, 10));
    EXPECT_EQ(0x44332211u, RecorderDisk::swap32(0x11223344u));
}
}  // namespace
