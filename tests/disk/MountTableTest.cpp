// The mounted file systems that stand for the logical drives on POSIX systems.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "disk/DiskDevice.h"
#include "disk/MountTable.h"
#include "disk/PosixPlatform.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {
std::vector<std::string> mountPoints(const std::vector<MountTable::Mount>& mounts) {
    std::vector<std::string> points;
    for (const MountTable::Mount& mount : mounts) points.push_back(mount.mountPoint);
    return points;
}

TEST(MountTable, BlockDeviceMountsInTheirOrderWithHiddenMountsReplaced) {
    const std::string text =
        "proc /proc proc rw 0 0\n"
        "/dev/sda2 / ext4 rw 0 0\n"
        "tmpfs /tmp tmpfs rw 0 0\n"
        "/dev/sda3 /home xfs rw 0 0\n"
        "/dev/sdb1 /media/my\\040stick vfat rw 0 0\n"
        "/dev/sda4 /srv ext4 rw 0 0\n"
        "tmpfs /srv tmpfs rw 0 0\n"
        "/dev/sdc1 /home btrfs rw 0 0\n"
        "broken-line\n";
    const std::vector<MountTable::Mount> mounts = MountTable::parseBlockDeviceMounts(text);
    EXPECT_EQ((std::vector<std::string>{"/", "/home", "/media/my stick"}), mountPoints(mounts));
    MountTable::Mount home;
    ASSERT_TRUE(MountTable::find(mounts, "/home", &home));
    EXPECT_EQ("/dev/sdc1", home.source);
    EXPECT_EQ("btrfs", home.fileSystem);
    EXPECT_FALSE(MountTable::find(mounts, "/srv", &home));
}

TEST(MountTable, EscapedNamesAreDecoded) {
    EXPECT_EQ("a b\tc\\d", MountTable::decodeMountField("a\\040b\\011c\\134d"));
    EXPECT_EQ("\\04", MountTable::decodeMountField("\\04"));
    EXPECT_EQ("My Disk", MountTable::decodeLabelName("My\\x20Disk"));
    EXPECT_EQ("x\\x2", MountTable::decodeLabelName("x\\x2"));
}

TEST(MountTable, LabelsComeFromTheLinksToTheSameDevice) {
    TempDir temp;
    const std::string device = temp.file("sda1");
    const std::string other = temp.file("sdb1");
    TempDir::writeAll(device, "");
    TempDir::writeAll(other, "");
    fs::create_directory(temp.file("by-label"));
    fs::create_symlink(other, temp.file("by-label/BACKUP"));
    fs::create_symlink(device, temp.file("by-label/Eigene\\x20Dateien"));
    EXPECT_EQ("Eigene Dateien", MountTable::volumeLabelOf(device, temp.file("by-label")));
    EXPECT_EQ("", MountTable::volumeLabelOf(temp.file("sdc1"), temp.file("by-label")));
    EXPECT_EQ("", MountTable::volumeLabelOf(device, temp.file("no-such-folder")));
}

TEST(MountTable, RemovableAndOpticalDisksAreTold) {
    TempDir temp;
    const fs::path sys = temp.path();
    auto addDisk = [&](const std::string& disk, const std::string& removable, const std::string& scsiType) {
        const fs::path folder = sys / "devices" / "bus" / "block" / disk;
        fs::create_directories(folder / "device");
        TempDir::writeAll((folder / "removable").string(), removable + "\n");
        if (!scsiType.empty()) TempDir::writeAll((folder / "device" / "type").string(), scsiType + "\n");
        fs::create_directories(sys / "block");
        fs::create_symlink(folder, sys / "block" / disk);
        fs::create_directories(sys / "class" / "block");
        fs::create_symlink(folder, sys / "class" / "block" / disk);
        return folder;
    };
    auto addPartition = [&](const fs::path& diskFolder, const std::string& name) {
        fs::create_directories(diskFolder / name);
        TempDir::writeAll((diskFolder / name / "partition").string(), "1\n");
        fs::create_symlink(diskFolder / name, sys / "class" / "block" / name);
    };
    addPartition(addDisk("sda", "0", "0"), "sda1");
    addPartition(addDisk("sdb", "1", "0"), "sdb1");
    addDisk("sr0", "1", "5");
    addDisk("vdb", "0", "");
    const std::string sysFolder = sys.string();
    EXPECT_EQ(3u, MountTable::driveTypeOf("/dev/sda1", sysFolder));
    EXPECT_EQ(2u, MountTable::driveTypeOf("/dev/sdb1", sysFolder));
    EXPECT_EQ(2u, MountTable::driveTypeOf("/dev/sdb", sysFolder));
    EXPECT_EQ(5u, MountTable::driveTypeOf("/dev/sr0", sysFolder));
    EXPECT_EQ(3u, MountTable::driveTypeOf("/dev/vdb", sysFolder));
    EXPECT_EQ(3u, MountTable::driveTypeOf("/dev/unknown", sysFolder));
}

// The volume calls on a mount table and label folder of the test's own.
TEST(PosixVolumes, BuffersAreHandledAsWin32HandlesThem) {
    TempDir temp;
    std::string mounts;
    std::vector<std::string> points;
    for (int k = 0; k < 12; ++k) {
        points.push_back(temp.file("mount-point-with-a-rather-long-name-" + std::to_string(k)));
        fs::create_directory(points.back());
        // The last one names a file system too long for any name buffer.
        const std::string fileSystem = k == 11 ? std::string(300, 'f') : "ext4";
        mounts += "/dev/null " + points.back() + " " + fileSystem + " rw 0 0\n";
    }
    TempDir::writeAll(temp.file("mounts"), mounts);
    fs::create_directory(temp.file("by-label"));
    fs::create_symlink("/dev/null", temp.file("by-label/Archiv"));
    PosixPlatform platform(PosixPlatform::VolumeSources{temp.file("mounts"), temp.file("sys"), temp.file("by-label")});

    // A buffer too small for the list is left alone; the answer is the length needed.
    std::vector<char> list(256, 'x');
    const std::uint32_t needed = platform.getLogicalDriveStrings(256, list.data());
    EXPECT_GT(needed, 256u);
    EXPECT_EQ('x', list[0]);
    list.assign(needed, 'x');
    EXPECT_EQ(needed - 1, platform.getLogicalDriveStrings(needed, list.data()));
    EXPECT_EQ(points[0], std::string(list.data()));

    char name[256];
    char fileSystem[256];
    std::uint32_t serial = 0;
    ASSERT_TRUE(platform.getVolumeInformation(points[0].c_str(), name, sizeof name, &serial, fileSystem,
                                              sizeof fileSystem));
    EXPECT_EQ("Archiv", std::string(name));
    EXPECT_EQ("ext4", std::string(fileSystem));
    // A name that does not fit its buffer fails the call and names the reason.
    EXPECT_FALSE(platform.getVolumeInformation(points[0].c_str(), name, 6, &serial, fileSystem, sizeof fileSystem));
    EXPECT_EQ(24u, platform.getLastError());
    EXPECT_FALSE(platform.getVolumeInformation(points[11].c_str(), name, sizeof name, &serial, fileSystem,
                                               sizeof fileSystem));

    // The report shows every mount point; the one whose names do not fit has empty fields.
    DiskDevice device(platform);
    const std::string report = device.volumeReport();
    EXPECT_NE(std::string::npos, report.find(points[0] + "  Archiv  ext4 "));
    EXPECT_NE(std::string::npos, report.find(points[11] + "     0\n"));
    EXPECT_EQ(12, std::count(report.begin(), report.end(), '\n'));
}

TEST(PosixVolumes, TheMountPointsFollowTheWindowsListContract) {
    PosixPlatform platform;
    char tooSmall[1] = {'x'};
    const std::uint32_t needed = platform.getLogicalDriveStrings(1, tooSmall);
    if (needed == 0) GTEST_SKIP() << "no block device is mounted here";
    ASSERT_GT(needed, 1u);
    std::vector<char> list(needed, 'x');
    ASSERT_EQ(needed - 1, platform.getLogicalDriveStrings(needed, list.data()));
    EXPECT_EQ('\0', list[needed - 1]);
    for (const char* root = list.data(); *root != '\0'; root += std::strlen(root) + 1) {
        const std::uint32_t type = platform.getDriveType(root);
        EXPECT_TRUE(type == 2 || type == 3 || type == 5) << root << " " << type;
        char name[256];
        char fileSystem[256];
        std::uint32_t serial = 0;
        EXPECT_TRUE(platform.getVolumeInformation(root, name, sizeof name, &serial, fileSystem, sizeof fileSystem))
            << root;
        EXPECT_NE('\0', fileSystem[0]) << root;
    }
    EXPECT_EQ(1u, platform.getDriveType("/no/such/mount/point"));
}
}  // namespace
#endif
