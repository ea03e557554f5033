// What only the Win32 platform layer has: the 9x device and library, and the logical drives.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "disk/WindowsPlatform.h"

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
}  // namespace
#endif
