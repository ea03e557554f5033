#ifndef _WIN32
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "disk/PosixPlatform.h"
#include "support/DrivesVariable.h"
#include "support/TempDir.h"

namespace {
// Whether the kernel's lock list holds a lock on the file with this inode, or a wait for one.
bool lockListed(ino_t inode, bool waiting) {
    std::ifstream locks("/proc/locks");
    const std::string file = ":" + std::to_string(inode) + " ";
    for (std::string line; std::getline(locks, line);)
        if (line.find(file) != std::string::npos && (line.find("->") != std::string::npos) == waiting) return true;
    return false;
}

// The drive's lock against a flock through a second open of the same image, as another command
// holds it. Tries never block; a wait is seen waiting in the kernel's list before the other open
// lets go, so nothing depends on timing.
TEST(PosixPlatform, DriveLocksMeetTheFlockOfASecondOpen) {
    TempDir temp;
    const std::string image = temp.makeImage("disk.img", 1u << 20, true);
    DrivesVariable drives(image);
    PosixPlatform platform;
    const int other = ::open(image.c_str(), O_RDWR | O_CLOEXEC);
    struct stat status;
    ASSERT_TRUE(other >= 0 && ::fstat(other, &status) == 0);
    ASSERT_EQ(0, ::flock(other, LOCK_EX | LOCK_NB));
    if (!lockListed(status.st_ino, false)) {
        ::close(other);
        GTEST_SKIP() << "no list of the kernel's locks here, to see a wait in";
    }
    using Lock = DiskPlatform::DriveLock;
    DiskPlatform::Handle handle = platform.createFile("\\\\.\\PhysicalDrive0", 0, 0, 3, 0);
    std::atomic<bool> returned{false};
    Lock waited = Lock::Unsupported;
    std::thread waiting([&] {
        waited = platform.lockDrive(handle, false, true);
        returned = true;
    });
    while (!returned && !lockListed(status.st_ino, true)) std::this_thread::yield();
    const bool waitedForTheOther = !returned;
    ::flock(other, LOCK_UN);
    waiting.join();
    platform.closeHandle(handle);
    ASSERT_TRUE(waitedForTheOther) << "the wait returned while the lock was held elsewhere; so might the tries below";
    EXPECT_EQ(Lock::Taken, waited);

    const struct {
        int heldElsewhere;
        bool exclusive;
        Lock answer;
        bool sharedBeside, exclusiveBeside;  // what the other open can take then
    } cases[] = {{0, true, Lock::Taken, false, false},
                 {0, false, Lock::Taken, true, false},
                 {LOCK_SH, false, Lock::Taken, true, false},
                 {LOCK_SH, true, Lock::Busy, true, true},
                 {LOCK_EX, false, Lock::Busy, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("held elsewhere " + std::to_string(c.heldElsewhere) + (c.exclusive ? ", exclusive" : ", shared"));
        ASSERT_TRUE(c.heldElsewhere == 0 || ::flock(other, c.heldElsewhere | LOCK_NB) == 0);
        handle = platform.createFile("\\\\.\\PhysicalDrive0", 0, 0, 3, 0);
        EXPECT_EQ(c.answer, platform.lockDrive(handle, c.exclusive, false));
        EXPECT_EQ(c.sharedBeside, ::flock(other, LOCK_SH | LOCK_NB) == 0);
        EXPECT_EQ(c.exclusiveBeside, ::flock(other, LOCK_EX | LOCK_NB) == 0);
        platform.closeHandle(handle);
        ::flock(other, LOCK_UN);
    }
    ::close(other);
}

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
