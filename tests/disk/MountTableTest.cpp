// The mounted file systems that stand for the logical drives on POSIX systems.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

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
