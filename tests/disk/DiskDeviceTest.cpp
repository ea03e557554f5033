#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "disk/DiskDevice.h"
#include "disk/FakePlatform.h"

namespace {
// Builds a device on the fake and returns what its construction printed.
std::string construct(FakePlatform& fake, std::unique_ptr<DiskDevice>* device) {
    testing::internal::CaptureStdout();
    device->reset(new DiskDevice(fake));
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

std::vector<std::string> readDisk32Calls(const FakePlatform& fake) { return fake.callsStartingWith("ReadDisk32"); }

TEST(DiskDeviceFamily, NtFamilyUsesPhysicalDrivesAndLoadsNoLibrary) {
    FakePlatform fake;
    std::unique_ptr<DiskDevice> device;
    EXPECT_EQ("", construct(fake, &device));
    EXPECT_TRUE(device->isUsable());
    EXPECT_EQ(PhysicalDrive, device->backEndInUse());
    EXPECT_STREQ("WIN2K", device->osFamilyName());
    EXPECT_TRUE(fake.callsStartingWith("LoadLibraryA").empty());
    EXPECT_EQ("CreateFileA \\\\.\\vwin32", fake.calls.front());
}

TEST(DiskDeviceFamily, MissingLibraryOrFunctionMakesTheDeviceUnusable) {
    struct Case {
        bool library;
        const char* missing;
        std::string message;
        std::size_t lookups;
    };
    const Case cases[] = {
        {false, "", "Win9x-Fehler: Disk32.DLL nicht vorhanden!\n", 0},
        {true, "ReadDisk32", "Win9x-Fehler: ReadDisk32-Function nicht zugreifbar!\n", 1},
        {true, "WriteDisk32", "Win9x-Fehler: WriteDisk32-Function nicht zugreifbar!\n", 2},
        {true, "CheckInt13Extension32", "Win9x-Fehler: DllCheckInt13Extension-Function nicht zugreifbar!\n", 3},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        fake.vwin32Present = true;
        fake.libraryPresent = c.library;
        fake.missingFunctions.insert(c.missing);
        fake.addDrive(0, 4096);
        std::unique_ptr<DiskDevice> device;
        EXPECT_EQ(c.message, construct(fake, &device)) << c.missing;
        EXPECT_EQ(c.lookups, fake.callsStartingWith("GetProcAddress").size()) << c.missing;
        EXPECT_FALSE(device->isUsable());
        EXPECT_STREQ("WIN9x", device->osFamilyName());
        for (int drive = 0; drive < 16; ++drive) EXPECT_FALSE(device->open(drive));
        char sector[512];
        EXPECT_FALSE(device->seek(0));
        EXPECT_EQ(0u, device->read(sector, 512));
        EXPECT_FALSE(device->write(sector, 512));
        EXPECT_TRUE(readDisk32Calls(fake).empty());
    }
}

TEST(DiskDevicePhysical, OpensDrivePathsAndSeeksToWholeSectors) {
    FakePlatform fake;
    fake.addDrive(12, 8u << 20);
    std::unique_ptr<DiskDevice> device;
    construct(fake, &device);
    EXPECT_FALSE(device->open(3));
    EXPECT_TRUE(device->open(12));
    EXPECT_EQ("CreateFileA \\\\.\\PhysicalDrive3", fake.calls[1]);
    EXPECT_EQ("CreateFileA \\\\.\\PhysicalDrive12", fake.calls[2]);

    fake.calls.clear();
    EXPECT_TRUE(device->seek(1000));
    EXPECT_TRUE(device->seek(0x100000200ull));
    EXPECT_EQ((std::vector<std::string>{"SetFilePointer 512", "SetFilePointer 4294967808"}), fake.calls);
}

TEST(DiskDevicePhysical, TransfersPassTheWholeLengthInOneCall) {
    FakePlatform fake;
    std::vector<std::uint8_t>& drive = fake.addDrive(0, 4u << 20);
    std::unique_ptr<DiskDevice> device;
    construct(fake, &device);
    ASSERT_TRUE(device->open(0));
    std::vector<std::uint8_t> cluster(1u << 20, 0xAB);
    ASSERT_TRUE(device->seek(1u << 20));
    EXPECT_TRUE(device->write(cluster.data(), 1u << 20));
    EXPECT_EQ(0xAB, drive[1u << 20]);
    EXPECT_EQ(0xAB, drive[(2u << 20) - 1]);
    EXPECT_EQ(0, drive[2u << 20]);
    EXPECT_EQ(1u, fake.callsStartingWith("WriteFile").size());

    // A read without a seek goes on where the write ended; past the end it fails.
    EXPECT_EQ(1u << 20, device->read(cluster.data(), 1u << 20));
    EXPECT_EQ(0, cluster[0]);
    ASSERT_TRUE(device->seek(4u << 20));
    EXPECT_EQ(0u, device->read(cluster.data(), 512));
    EXPECT_FALSE(device->write(cluster.data(), 512));
}

TEST(DiskDevicePhysical, FaultsAreToldAsWin32TellsThem) {
    FakePlatform fake;
    fake.addDrive(0, 4u << 20);
    std::unique_ptr<DiskDevice> device;
    construct(fake, &device);
    ASSERT_TRUE(device->open(0));
    std::vector<std::uint8_t> buffer(4096, 0xCD);

    // A successful seek leaves an old error in place; only the failure result counts.
    fake.setLastError(30);
    EXPECT_TRUE(device->seek(512));
    fake.failSeekAt = fake.seekCount + 1;
    EXPECT_FALSE(device->seek(1024));

    // A write that moves fewer bytes than asked has failed, though the call succeeded.
    ASSERT_TRUE(device->seek(0));
    fake.shortWriteAt = fake.writeCount + 1;
    EXPECT_FALSE(device->write(buffer.data(), 4096));
    // A short read delivers what came.
    ASSERT_TRUE(device->seek(0));
    fake.shortReadAt = fake.readCount + 1;
    EXPECT_EQ(2048u, device->read(buffer.data(), 4096));
}

class LibraryDevice : public ::testing::Test {
protected:
    void SetUp() override {
        fake.vwin32Present = true;
        drive = &fake.addDrive(1, 16u << 20);
        for (std::size_t i = 0; i < drive->size(); ++i) (*drive)[i] = static_cast<std::uint8_t>(i / 512);
        EXPECT_EQ("", construct(fake, &device));
        ASSERT_EQ(Disk32Library, device->backEndInUse());
    }
    FakePlatform fake;
    std::vector<std::uint8_t>* drive = nullptr;
    std::unique_ptr<DiskDevice> device;
};

TEST_F(LibraryDevice, OpenReadsSectorZeroOfTheBiosDrive) {
    EXPECT_STREQ("WIN9x", device->osFamilyName());
    EXPECT_FALSE(device->open(0));
    EXPECT_TRUE(device->open(1));
    EXPECT_EQ((std::vector<std::string>{"ReadDisk32 128 0", "ReadDisk32 129 0"}), readDisk32Calls(fake));
    // After the open the position is sector 1.
    std::uint8_t sector[512];
    EXPECT_EQ(512u, device->read(sector, 512));
    EXPECT_EQ("ReadDisk32 129 1", readDisk32Calls(fake).back());
    EXPECT_EQ(1, sector[0]);
}

TEST_F(LibraryDevice, EachOpenStartsAtSectorZeroOfItsDrive) {
    fake.addDrive(2, 1u << 20);
    ASSERT_TRUE(device->open(1));
    ASSERT_TRUE(device->seek(100 * 512));
    std::uint8_t sector[512];
    ASSERT_EQ(512u, device->read(sector, 512));
    fake.calls.clear();
    EXPECT_TRUE(device->open(2));
    EXPECT_EQ((std::vector<std::string>{"ReadDisk32 130 0"}), readDisk32Calls(fake));
}

TEST_F(LibraryDevice, ClusterReadIsOneCallPerSectorInOrder) {
    ASSERT_TRUE(device->open(1));
    ASSERT_TRUE(device->seek(1000));  // sector 1
    fake.calls.clear();
    std::vector<std::uint8_t> cluster(1u << 20);
    EXPECT_EQ(1u << 20, device->read(cluster.data(), 1u << 20));
    const std::vector<std::string> calls = readDisk32Calls(fake);
    ASSERT_EQ(2048u, calls.size());
    for (std::size_t k = 0; k < calls.size(); ++k) ASSERT_EQ("ReadDisk32 129 " + std::to_string(1 + k), calls[k]);
    EXPECT_EQ(0, std::memcmp(cluster.data(), drive->data() + 512, cluster.size()));

    device->read(cluster.data(), 512);
    EXPECT_EQ("ReadDisk32 129 2049", readDisk32Calls(fake).back());
}

TEST_F(LibraryDevice, OnlyWholeSectorsCount) {
    ASSERT_TRUE(device->open(1));
    ASSERT_TRUE(device->seek(0));
    std::vector<std::uint8_t> buffer(1024, 0xEE);
    EXPECT_EQ(0u, device->read(buffer.data(), 100));
    EXPECT_EQ(0xEE, buffer[0]);
    EXPECT_EQ(512u, device->read(buffer.data(), 700));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(0xEE, buffer[512]);
}

TEST_F(LibraryDevice, SeekPassesOnlyTheLowSectorBits) {
    ASSERT_TRUE(device->open(1));
    ASSERT_TRUE(device->seek(0x100000200ull));
    fake.calls.clear();
    std::uint8_t sector[512];
    device->read(sector, 512);
    EXPECT_EQ("ReadDisk32 129 " + std::to_string(0x800001), readDisk32Calls(fake).back());
}

TEST_F(LibraryDevice, FailingCallStopsTheTransferWithTheSectorsBeforeIt) {
    ASSERT_TRUE(device->open(1));
    ASSERT_TRUE(device->seek(0));
    std::vector<std::uint8_t> data(4 * 512, 0xEE);
    fake.failLibraryCallAt = fake.libraryCalls + 3;
    EXPECT_FALSE(device->write(data.data(), static_cast<std::uint32_t>(data.size())));
    EXPECT_EQ(0xEE, (*drive)[0]);
    EXPECT_EQ(0xEE, (*drive)[1023]);
    EXPECT_EQ(2, (*drive)[1024]);
    EXPECT_EQ(3u, fake.callsStartingWith("WriteDisk32").size());

    ASSERT_TRUE(device->seek(0));
    fake.failLibraryCallAt = fake.libraryCalls + 2;
    std::vector<std::uint8_t> back(4 * 512, 0);
    EXPECT_EQ(0u, device->read(back.data(), static_cast<std::uint32_t>(back.size())));
    EXPECT_EQ(0xEE, back[511]);
    EXPECT_EQ(0, back[512]);
}
}  // namespace
