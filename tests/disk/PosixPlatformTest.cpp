#ifndef _WIN32
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/PosixPlatform.h"
#include "support/DrivesVariable.h"
#include "support/TempDir.h"

namespace {
TEST(PosixPlatform, TheNineXDeviceAndLibraryDoNotExist) {
    PosixPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle,
              platform.createFile("\\\\.\\vwin32", 0, 0, 0, DiskPlatform::fileFlagDeleteOnClose));
    EXPECT_EQ(DiskPlatform::invalidHandle, platform.createFile("\\\\.\\PhysicalDriveX", 0, 0, 3, 0));
    EXPECT_EQ(nullptr, platform.loadLibrary("Disk32.DLL"));
}

TEST(PosixPlatform, AFileThatOpensOnlyForReadingIsNoDrive) {
    // Even root cannot open this one for writing.
    const char* readOnly = "/sys/kernel/notes";
    const int probe = ::open(readOnly, O_RDONLY);
    if (probe < 0) GTEST_SKIP() << readOnly << " is not readable here";
    ::close(probe);
    DrivesVariable drives(readOnly);
    PosixPlatform platform;
    EXPECT_EQ(DiskPlatform::invalidHandle, platform.createFile("\\\\.\\PhysicalDrive0", 0, 0, 3, 0));
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
