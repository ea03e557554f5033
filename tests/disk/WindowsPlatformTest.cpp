// The Win32 platform layer on image files standing in for physical drives.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "disk/WindowsPlatform.h"
#include "support/TempDir.h"

namespace {
class DrivesVariable {
public:
    explicit DrivesVariable(const std::string& value) {
        const DWORD needed = GetEnvironmentVariableA("VELMORAN_DRIVES", nullptr, 0);
        if (needed > 0) {
            std::string old(needed, '\0');
            old.resize(GetEnvironmentVariableA("VELMORAN_DRIVES", &old[0], needed));
            previous.reset(new std::string(old));
        }
        _putenv_s("VELMORAN_DRIVES", value.c_str());
        SetEnvironmentVariableA("VELMORAN_DRIVES", value.c_str());
    }
    ~DrivesVariable() {
        _putenv_s("VELMORAN_DRIVES", previous ? previous->c_str() : "");
        SetEnvironmentVariableA("VELMORAN_DRIVES", previous ? previous->c_str() : nullptr);
    }
    DrivesVariable(const DrivesVariable&) = delete;
    DrivesVariable& operator=(const DrivesVariable&) = delete;

private:
    std::unique_ptr<std::string> previous;
};

DiskPlatform::Handle openDrive(WindowsPlatform& platform, int n) {
    const std::string name = "\\\\.\\PhysicalDrive" + std::to_string(n);
    return platform.createFile(name.c_str(), DiskPlatform::genericRead | DiskPlatform::genericWrite,
                               DiskPlatform::fileShareRead | DiskPlatform::fileShareWrite,
                               DiskPlatform::openExisting, 0);
}

std::uint32_t seek(WindowsPlatform& platform, DiskPlatform::Handle handle, std::uint64_t position) {
    std::int32_t high = static_cast<std::int32_t>(position >> 32);
    return platform.setFilePointer(handle, static_cast<std::int32_t>(position & 0xFFFFFFFFu), &high,
                                   DiskPlatform::moveBegin);
}

TEST(WindowsPlatform, DrivesComeFromTheVariableInOrder) {
    TempDir temp;
    const std::string first = temp.makeImage("a.img", 4096, false);
    const std::string third = temp.makeImage("c.img", 4096, false);
    DrivesVariable drives(first + ";;" + third + ";" + temp.file("missing.img") + ";" + temp.path());
    WindowsPlatform platform;
    const DiskPlatform::Handle drive0 = openDrive(platform, 0);
    EXPECT_NE(DiskPlatform::invalidHandle, drive0);
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 1));
    EXPECT_NE(0u, platform.getLastError());
    const DiskPlatform::Handle drive2 = openDrive(platform, 2);
    EXPECT_NE(DiskPlatform::invalidHandle, drive2);
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 3));
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 4));  // a folder
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 5));

    // Each drive is its own entry: a mark written on drive 2 lands in the third file.
    char sector[512] = "drive two";
    std::uint32_t count = 0;
    ASSERT_TRUE(platform.writeFile(drive2, sector, 512, &count));
    EXPECT_EQ(std::string("drive two"), std::string(reinterpret_cast<const char*>(TempDir::readAt(third, 0, 9).data()), 9));
    EXPECT_EQ(std::vector<std::uint8_t>(9, 0), TempDir::readAt(first, 0, 9));
    EXPECT_TRUE(platform.closeHandle(drive0));
    EXPECT_TRUE(platform.closeHandle(drive2));
}

TEST(WindowsPlatform, ReadOnlyImageIsNoDrive) {
    TempDir temp;
    const std::string image = temp.makeImage("ro.img", 4096, false);
    ASSERT_TRUE(SetFileAttributesA(image.c_str(), FILE_ATTRIBUTE_READONLY));
    const HANDLE direct = CreateFileA(image.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (direct != INVALID_HANDLE_VALUE) {
        CloseHandle(direct);
        SetFileAttributesA(image.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "this system opens read-only files for writing (wine run by root)";
    }
    // A folder cannot be opened as a file at all.
    DrivesVariable drives(image + ";" + temp.path());
    WindowsPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 0));
    EXPECT_EQ(DiskPlatform::invalidHandle, openDrive(platform, 1));
    SetFileAttributesA(image.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(WindowsPlatform, DrivesHaveAFixedSizeInWholeSectors) {
    TempDir temp;
    const std::string image = temp.makeImage("disk.img", 3 * 512 + 100, false);
    DrivesVariable drives(image);
    WindowsPlatform platform;
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
    seek(platform, handle, 4096);
    EXPECT_FALSE(platform.writeFile(handle, buffer.data(), 512, &count));
    EXPECT_TRUE(platform.closeHandle(handle));
    EXPECT_EQ(3u * 512 + 100, std::filesystem::file_size(image));
    EXPECT_EQ(std::vector<std::uint8_t>(512, 'x'), TempDir::readAt(image, 1024, 512));
}

TEST(WindowsPlatform, PositionsBeyondFourGigabytes) {
    TempDir temp;
    const std::string image = temp.makeImage("big.img", 5ull << 30, false);
    TempDir::writeAt(image, 0x100000200ull, "far", 3);
    DrivesVariable drives(image);
    WindowsPlatform platform;
    const DiskPlatform::Handle handle = openDrive(platform, 0);
    ASSERT_NE(DiskPlatform::invalidHandle, handle);
    EXPECT_EQ(0x200u, seek(platform, handle, 0x100000200ull));
    char sector[512];
    std::uint32_t count = 0;
    ASSERT_TRUE(platform.readFile(handle, sector, 512, &count));
    EXPECT_EQ(std::string("far"), std::string(sector, 3));
    // The last sector of the image is still inside it; the one after is not.
    EXPECT_EQ(0x3FFFFE00u, seek(platform, handle, (5ull << 30) - 512));
    EXPECT_TRUE(platform.writeFile(handle, sector, 512, &count));
    EXPECT_FALSE(platform.writeFile(handle, sector, 512, &count));
    std::int32_t high = -1;
    EXPECT_EQ(DiskPlatform::invalidSetFilePointer, platform.setFilePointer(handle, 0, &high, DiskPlatform::moveBegin));
    EXPECT_NE(0u, platform.getLastError());
    EXPECT_TRUE(platform.closeHandle(handle));
    EXPECT_EQ(5ull << 30, std::filesystem::file_size(image));
}

TEST(WindowsPlatform, TheNineXDeviceAndLibraryAreMissingHere) {
    WindowsPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle,
              platform.createFile("\\\\.\\vwin32", 0, 0, 0, DiskPlatform::fileFlagDeleteOnClose));
    EXPECT_EQ(nullptr, platform.loadLibrary("Disk32.DLL"));
    // A library of the system is found with its functions, an unknown name is not.
    DiskPlatform::Module kernel = platform.loadLibrary("kernel32.dll");
    ASSERT_NE(nullptr, kernel);
    EXPECT_NE(nullptr, platform.getProcAddress(kernel, "GetVersion"));
    EXPECT_EQ(nullptr, platform.getProcAddress(kernel, "ReadDisk32"));
}

TEST(WindowsPlatform, LogicalDrivesAreRootPathsEndedByZeros) {
    WindowsPlatform platform;
    char list[256];
    const std::uint32_t length = platform.getLogicalDriveStrings(sizeof list, list);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, sizeof list);
    EXPECT_EQ('\0', list[length]);
    for (const char* root = list; *root != '\0'; root += std::strlen(root) + 1) {
        EXPECT_EQ(std::string(":\\"), std::string(root + 1)) << root;
        EXPECT_NE(0u, platform.getDriveType(root)) << root;
    }
    EXPECT_GT(platform.getLogicalDriveStrings(2, list), 2u);
}
}  // namespace
#endif
