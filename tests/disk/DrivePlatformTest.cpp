// The drive contract of the platform layer the tool runs on, tested once for every system:
// image files named by VELMORAN_DRIVES stand in for physical drives of a fixed size.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"
#include "support/DrivesVariable.h"
#include "support/TempDir.h"

namespace {
DiskPlatform& platform() { return DiskPlatform::system(); }

DiskPlatform::Handle openDrive(int n) {
    const std::string name = "\\\\.\\PhysicalDrive" + std::to_string(n);
    return platform().createFile(name.c_str(), DiskPlatform::genericRead | DiskPlatform::genericWrite,
                                 DiskPlatform::fileShareRead | DiskPlatform::fileShareWrite,
                                 DiskPlatform::openExisting, 0);
}

std::uint32_t seek(DiskPlatform::Handle handle, std::uint64_t position) {
    std::int32_t high = static_cast<std::int32_t>(position >> 32);
    return platform().setFilePointer(handle, static_cast<std::int32_t>(position & 0xFFFFFFFFu), &high,
                                     DiskPlatform::moveBegin);
}

std::string entries(const std::vector<std::string>& paths) {
    std::string joined;
    for (std::size_t i = 0; i < paths.size(); ++i) joined += (i ? std::string(1, DrivesVariable::separator) : "") + paths[i];
    return joined;
}

TEST(DrivePlatform, DrivesComeFromTheVariableInOrder) {
    TempDir temp;
    const std::string first = temp.makeImage("a.img", 4096, false);
    const std::string third = temp.makeImage("c.img", 4096, false);
    DrivesVariable drives(entries({first, "", third, temp.file("missing.img"), temp.path()}));
    EXPECT_EQ(DiskPlatform::invalidHandle,
              platform().createFile("\\\\.\\vwin32", 0, 0, 0, DiskPlatform::fileFlagDeleteOnClose));
    const DiskPlatform::Handle drive0 = openDrive(0);
    EXPECT_NE(DiskPlatform::invalidHandle, drive0);
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(1));
    EXPECT_NE(0u, platform().getLastError());
    const DiskPlatform::Handle drive2 = openDrive(2);
    EXPECT_NE(DiskPlatform::invalidHandle, drive2);
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(3));  // missing file
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(4));  // a folder
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(5));  // no entry

    // Each drive is its own entry: a mark written on drive 2 lands in the third file.
    char sector[512] = "drive two";
    std::uint32_t count = 0;
    ASSERT_TRUE(platform().writeFile(drive2, sector, 512, &count));
    EXPECT_EQ(std::vector<std::uint8_t>(sector, sector + 9), TempDir::readAt(third, 0, 9));
    EXPECT_EQ(std::vector<std::uint8_t>(9, 0), TempDir::readAt(first, 0, 9));
    EXPECT_TRUE(platform().closeHandle(drive0));
    EXPECT_TRUE(platform().closeHandle(drive2));
    EXPECT_FALSE(platform().closeHandle(drive2));
}

TEST(DrivePlatform, ReadOnlyImageIsNoDrive) {
    TempDir temp;
    const std::string image = temp.makeImage("ro.img", 4096, false);
    namespace fs = std::filesystem;
    fs::permissions(image, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    {
        DrivesVariable drives(image);
        const DiskPlatform::Handle handle = openDrive(0);
        if (handle != DiskPlatform::invalidHandle) {
            platform().closeHandle(handle);
            fs::permissions(image, fs::perms::owner_all);
            GTEST_SKIP() << "this user opens read-only files for writing (root, or wine run by root)";
        }
    }
    fs::permissions(image, fs::perms::owner_all);
}

TEST(DrivePlatform, DrivesHaveAFixedSizeInWholeSectors) {
    TempDir temp;
    const std::string image = temp.makeImage("disk.img", 3 * 512 + 100, false);
    DrivesVariable drives(image);
    const DiskPlatform::Handle handle = openDrive(0);
    ASSERT_NE(DiskPlatform::invalidHandle, handle);

    std::vector<char> buffer(4096, 'x');
    std::uint32_t count = 0;
    seek(handle, 512);
    EXPECT_TRUE(platform().readFile(handle, buffer.data(), 4096, &count));
    EXPECT_EQ(1024u, count);  // the partial sector at the end does not count
    EXPECT_EQ(1536u, [&] { std::uint64_t n = 0; return platform().getDriveLength(handle, &n) ? n : 0; }());
    EXPECT_FALSE(platform().readFile(handle, buffer.data(), 512, &count));
    EXPECT_EQ(0u, count);
    EXPECT_NE(0u, platform().getLastError());

    // A write that does not fit wholly writes nothing; the image never grows.
    std::fill(buffer.begin(), buffer.end(), 'x');
    seek(handle, 1024);
    EXPECT_FALSE(platform().writeFile(handle, buffer.data(), 1024, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(std::vector<std::uint8_t>(512, 0), TempDir::readAt(image, 1024, 512));
    seek(handle, 1024);
    EXPECT_TRUE(platform().writeFile(handle, buffer.data(), 512, &count));
    EXPECT_EQ(512u, count);
    EXPECT_FALSE(platform().writeFile(handle, buffer.data(), 512, &count));
    seek(handle, 4096);
    EXPECT_FALSE(platform().writeFile(handle, buffer.data(), 512, &count));
    EXPECT_TRUE(platform().closeHandle(handle));
    EXPECT_EQ(3u * 512 + 100, std::filesystem::file_size(image));
    EXPECT_EQ(std::vector<std::uint8_t>(512, 'x'), TempDir::readAt(image, 1024, 512));
}

TEST(DrivePlatform, PositionsBeyondFourGigabytes) {
    TempDir temp;
    const std::string image = temp.makeImage("big.img", 5ull << 30, false);
    TempDir::writeAt(image, 0x100000200ull, "far", 3);
    DrivesVariable drives(image);
    const DiskPlatform::Handle handle = openDrive(0);
    ASSERT_NE(DiskPlatform::invalidHandle, handle);
    EXPECT_EQ(0x200u, seek(handle, 0x100000200ull));
    char sector[512];
    std::uint32_t count = 0;
    ASSERT_TRUE(platform().readFile(handle, sector, 512, &count));
    EXPECT_EQ(std::string("far"), std::string(sector, 3));
    // The last sector of the image is still inside it; the one after is not.
    EXPECT_EQ(0x3FFFFE00u, seek(handle, (5ull << 30) - 512));
    EXPECT_TRUE(platform().writeFile(handle, sector, 512, &count));
    EXPECT_FALSE(platform().writeFile(handle, sector, 512, &count));
    std::int32_t high = -1;
    EXPECT_EQ(DiskPlatform::invalidSetFilePointer, platform().setFilePointer(handle, 0, &high, DiskPlatform::moveBegin));
    EXPECT_NE(0u, platform().getLastError());
    EXPECT_TRUE(platform().closeHandle(handle));
    EXPECT_EQ(5ull << 30, std::filesystem::file_size(image));
}
}  // namespace
