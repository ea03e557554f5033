#ifndef _WIN32
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/PosixPlatform.h"
#include "support/TempDir.h"

namespace {
class DrivesVariable {
public:
    explicit DrivesVariable(const std::string& value) {
        const char* old = std::getenv("VELMORAN_DRIVES");
        hadValue = old != nullptr;
        if (hadValue) oldValue = old;
        setenv("VELMORAN_DRIVES", value.c_str(), 1);
    }
    ~DrivesVariable() {
        if (hadValue)
            setenv("VELMORAN_DRIVES", oldValue.c_str(), 1);
        else
            unsetenv("VELMORAN_DRIVES");
    }

private:
    bool hadValue = false;
    std::string oldValue;
};

const char* drive(int n) {
    static std::string names[16];
    names[n] = "\\\\.\\PhysicalDrive" + std::to_string(n);
    return names[n].c_str();
}

DiskPlatform::Handle openDrive(PosixPlatform& platform, int n) {
    return platform.createFile(drive(n), DiskPlatform::genericRead | DiskPlatform::genericWrite, 3,
                               DiskPlatform::openExisting, 0);
}

void seek(PosixPlatform& platform, DiskPlatform::Handle handle, std::uint64_t position) {
    std::int32_t high = static_cast<std::int32_t>(position >> 32);
    platform.setFilePointer(handle, static_cast<std::int32_t>(position & 0xFFFFFFFFu), &high, DiskPlatform::moveBegin);
}

TEST(PosixPlatform, DrivesComeFromTheVariableInOrder) {
    TempDir temp;
    const std::string first = temp.makeImage("a.img", 4096, false);
    const std::string third = temp.makeImage("c.img", 4096, false);
    DrivesVariable drives(first + "::" + third + ":" + temp.file("missing.img"));
    PosixPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle,
              platform.createFile("\\\\.\\vwin32", 0, 0, 0, DiskPlatform::fileFlagDeleteOnClose));
    EXPECT_NE(DiskPlatform::invalidHandle, openDrive(platform, 0));
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 1));
    EXPECT_NE(DiskPlatform::invalidHandle, openDrive(platform, 2));
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 3));
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 4));
    EXPECT_EQ(DiskPlatform::invalidHandle, platform.createFile(first.c_str(), 0, 0, 3, 0));
    EXPECT_EQ(DiskPlatform::invalidHandle, platform.createFile("\\\\.\\PhysicalDriveX", 0, 0, 3, 0));
}

TEST(PosixPlatform, ReadOnlyImageIsNoDrive) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens read-only files for writing";
    TempDir temp;
    const std::string image = temp.makeImage("ro.img", 4096, false);
    chmod(image.c_str(), 0444);
    DrivesVariable drives(image);
    PosixPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 0));
}

TEST(PosixPlatform, DrivesHaveAFixedSizeInWholeSectors) {
    TempDir temp;
    const std::string image = temp.makeImage("disk.img", 3 * 512 + 100, false);
    DrivesVariable drives(image);
    PosixPlatform platform;
    const DiskPlatform::Handle handle = openDrive(platform, 0);
    ASSERT_NE(DiskPlatform::invalidHandle, handle);

    std::vector<char> buffer(4096, 'x');
    std::uint32_t count = 0;
    seek(platform, handle, 512);
    EXPECT_TRUE(platform.readFile(handle, buffer.data(), 4096, &count));
    EXPECT_EQ(1024u, count);  // the partial sector at the end does not count
    EXPECT_FALSE(platform.readFile(handle, buffer.data(), 512, &count));
    EXPECT_EQ(0u, count);
    EXPECT_NE(0u, platform.getLastError());

    // A write that does not fit wholly writes nothing; the image never grows.
    std::fill(buffer.begin(), buffer.end(), 'x');
    seek(platform, handle, 1024);
    EXPECT_FALSE(platform.writeFile(handle, buffer.data(), 1024, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::vector<std::uint8_t>(512, 0), TempDir::readAt(image, 1024, 512));
    seek(platform, handle, 1024);
    EXPECT_TRUE(platform.writeFile(handle, buffer.data(), 512, &count));
    EXPECT_EQ(512u, count);
    EXPECT_FALSE(platform.writeFile(handle, buffer.data(), 512, &count));
    EXPECT_EQ(3u * 512 + 100, std::filesystem::file_size(image));
    EXPECT_EQ(std::vector<std::uint8_t>(512, 'x'), TempDir::readAt(image, 1024, 512));
    EXPECT_TRUE(platform.closeHandle(handle));
    EXPECT_FALSE(platform.closeHandle(handle));
}

TEST(PosixPlatform, PositionsBeyondFourGigabytes) {
    TempDir temp;
    const std::uint64_t size = (5ull << 30);
    const std::string image = temp.makeImage("big.img", size, false);
    TempDir::writeAt(image, 0x100000200ull, "far", 3);
    DrivesVariable drives(image);
    PosixPlatform platform;
    const DiskPlatform::Handle handle = openDrive(platform, 0);
    ASSERT_NE(DiskPlatform::invalidHandle, handle);
    std::int32_t high = 1;
    EXPECT_EQ(0x200u, platform.setFilePointer(handle, 0x200, &high, DiskPlatform::moveBegin));
    char sector[512];
    std::uint32_t count = 0;
    ASSERT_TRUE(platform.readFile(handle, sector, 512, &count));
    EXPECT_EQ(std::string("far"), std::string(sector, 3));
    high = -1;
    EXPECT_EQ(DiskPlatform::invalidSetFilePointer, platform.setFilePointer(handle, 0, &high, DiskPlatform::moveBegin));
    EXPECT_NE(0u, platform.getLastError());
}

TEST(PosixPlatform, MachineDrivesAreWholeDisksInNameOrder) {
    TempDir temp;
    namespace fs = std::filesystem;
    for (const char* name : {"sdb", "loop0", "nvme0n1", "sda", "ram1", "zram0", "dm-0", "md127", "sr0", "vda", "cd"})
        fs::create_directories(fs::path(temp.path()) / name / "device");
    std::ofstream(fs::path(temp.path()) / "cd" / "device" / "type") << "5\n";
    std::ofstream(fs::path(temp.path()) / "sda" / "device" / "type") << "0\n";
    EXPECT_EQ((std::vector<std::string>{"/dev/nvme0n1", "/dev/sda", "/dev/sdb", "/dev/vda"}),
              PosixPlatform::machineDrives(temp.path()));
    for (int i = 0; i < 20; ++i) fs::create_directories(fs::path(temp.path()) / ("xd" + std::to_string(100 + i)));
    EXPECT_EQ(16u, PosixPlatform::machineDrives(temp.path()).size());
    EXPECT_TRUE(PosixPlatform::machineDrives(temp.file("nothing")).empty());
}
}  // namespace
#endif
