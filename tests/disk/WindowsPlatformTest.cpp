// What only the Win32 platform layer has: the 9x device and library, and the logical drives.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "disk/WindowsPlatform.h"
#include "support/DrivesVariable.h"
#include "support/TempDir.h"

namespace {
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
// Named mutexes belong to a thread, so the second holder asks from a thread of its own, as
// another process would.
TEST(WindowsPlatform, LocksMeetOnTheDriveWhateverNameOpenedIt) {
    TempDir temp;
    const std::string image = temp.makeImage("disk.img", 1u << 20, false);
    DrivesVariable drives(image + ";" + temp.path() + "\\.\\disk.img");
    using Lock = DiskPlatform::DriveLock;
    struct Case {
        bool firstExclusive;
        bool secondExclusive;
        Lock second;
    };
    const Case cases[] = {{false, false, Lock::Taken}, {false, true, Lock::Busy}, {true, false, Lock::Busy},
                          {true, true, Lock::Busy}};
    for (const Case& c : cases) {
        WindowsPlatform platform;
        const DiskPlatform::Handle first = platform.createFile("\\\\.\\PhysicalDrive0", 0xC0000000u, 3, 3, 0);
        const DiskPlatform::Handle second = platform.createFile("\\\\.\\PhysicalDrive1", 0xC0000000u, 3, 3, 0);
        ASSERT_NE(DiskPlatform::invalidHandle, second);
        EXPECT_EQ(Lock::Taken, platform.lockDrive(first, c.firstExclusive, false));
        Lock answer = Lock::Unsupported;
        std::thread([&] { answer = platform.lockDrive(second, c.secondExclusive, false); }).join();
        EXPECT_EQ(c.second, answer) << c.firstExclusive << c.secondExclusive;
        platform.closeHandle(first);
        std::thread([&] {
            answer = platform.lockDrive(second, c.secondExclusive, false);
            platform.closeHandle(second);
        }).join();
        EXPECT_EQ(Lock::Taken, answer);
    }
}
}  // namespace
#endif
