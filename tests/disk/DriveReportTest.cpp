// The report shown when no drive carries the recorder's signature, built on scripted drives
// and logical drives.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "support/ExpectedHexLines.h"

namespace {
const std::string heading = "Diagnose der vorhanden Festplatten\n";

std::string missingLine(int from, int to) {
    std::string line = "\nDivice";
    for (int drive = from; drive <= to; ++drive) line += " " + std::to_string(drive);
    return line + " nicht vorhanden!\n";
}

std::string driveBlock(int drive, const std::vector<std::uint8_t>& sector) {
    const std::vector<std::uint8_t> first(sector.begin(), sector.begin() + 32);
    return "\nDivice " + std::to_string(drive) + "\n" + ExpectedHexLines::lines(0, first);
}

std::string volumeLine(const FakePlatform::Volume& volume) {
    char serial[16];
    std::snprintf(serial, sizeof serial, "%X", volume.serial);
    return volume.root + "  " + volume.name + "  " + volume.fileSystem + " " + serial + "\n";
}

// The report, with the creation's messages kept off the test's output.
std::string reportOf(FakePlatform& fake, const std::function<void()>& afterCreate = [] {}) {
    RecorderDisk disk(&fake);
    testing::internal::CaptureStdout();
    disk.create();
    std::fflush(stdout);
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(disk.isFound());
    afterCreate();
    return disk.driveReport();
}

void fillSector(std::vector<std::uint8_t>& drive, std::uint8_t first) {
    for (std::size_t k = 0; k < 512; ++k) drive[k] = static_cast<std::uint8_t>(first + k * 3);
}

const FakePlatform::Volume systemVolume = {"C:\\", DiskPlatform::driveFixed, "SYSTEM", "NTFS", 0x1A2B3C4D, true};

TEST(DriveReport, NoDriveOpens) {
    FakePlatform fake;
    fake.volumes = {systemVolume};
    EXPECT_EQ(heading + missingLine(0, 15) + "\n" + "C:\\  SYSTEM  NTFS 1A2B3C4D\n" + "\n" + "WIN2K", reportOf(fake));

    FakePlatform nineX;
    nineX.vwin32Present = true;
    nineX.libraryPresent = false;
    EXPECT_EQ(heading + missingLine(0, 15) + "\n" + "\n" + "WIN9x", reportOf(nineX));
}

TEST(DriveReport, DrivesZeroAndOneShowTheirFirstThirtyTwoBytes) {
    FakePlatform fake;
    fillSector(fake.addDrive(0, 1u << 20), 0x00);
    fillSector(fake.addDrive(1, 1u << 20), 0x41);
    fake.volumes = {systemVolume};
    const std::string expected = heading + driveBlock(0, fake.drive(0)) + driveBlock(1, fake.drive(1)) +
                                 missingLine(2, 15) + "\n" + volumeLine(systemVolume) + "\n" + "WIN2K";
    EXPECT_EQ(expected, reportOf(fake));
}

TEST(DriveReport, AllSixteenDrivesPresentLeaveTheMissingLineWithoutNumbers) {
    FakePlatform fake;
    std::string blocks;
    for (int drive = 0; drive < 16; ++drive) {
        fillSector(fake.addDrive(drive, 4096), static_cast<std::uint8_t>(drive * 16));
        blocks += driveBlock(drive, fake.drive(drive));
    }
    EXPECT_EQ(heading + blocks + "\nDivice nicht vorhanden!\n" + "\n" + "\n" + "WIN2K", reportOf(fake));
}

TEST(DriveReport, FloppyAndCdRomAreLeftOut) {
    FakePlatform fake;
    fake.volumes = {{"A:\\", DiskPlatform::driveRemovable, "", "FAT", 0x1234, true},
                    {"D:\\", DiskPlatform::driveCdrom, "CD", "CDFS", 0x5678, true}};
    EXPECT_EQ(heading + missingLine(0, 15) + "\n\nWIN2K", reportOf(fake));
}

TEST(DriveReport, UnreadableFirstSectorShowsZerosNotTheDriveBeforeIt) {
    FakePlatform fake;
    fake.addDrive(0, 1u << 20);
    fillSector(fake.addDrive(1, 1u << 20), 0x41);
    // The probe reads drives 0 and 1; the report's read of drive 0 is the third.
    const std::string report = reportOf(fake, [&] { fake.failReadAt = 3; });
    const std::vector<std::uint8_t> zeros(512, 0);
    EXPECT_EQ(heading + driveBlock(0, zeros) + driveBlock(1, fake.drive(1)) + missingLine(2, 15) + "\n\nWIN2K",
              report);
}

TEST(DriveReport, VolumeWithoutInformationShowsEmptyFieldsAndSerialZero) {
    FakePlatform fake;
    fake.volumes = {systemVolume,
                    {"D:\\", DiskPlatform::driveFixed, "DATA", "FAT32", 0xABCD, false},
                    {"E:\\", DiskPlatform::driveRemote, "", "NTFS", 0x10, true}};
    const std::string expected = heading + missingLine(0, 15) + "\n" + "C:\\  SYSTEM  NTFS 1A2B3C4D\n" +
                                 "D:\\     0\n" + "E:\\    NTFS 10\n" + "\n" + "WIN2K";
    EXPECT_EQ(expected, reportOf(fake));
}

TEST(DriveReport, ManyLongVolumesAreAllListedInFull) {
    FakePlatform fake;
    std::string lines;
    for (int k = 0; k < 120; ++k) {
        const FakePlatform::Volume volume = {"/mnt/volume-with-a-long-mount-point-" + std::to_string(k),
                                             DiskPlatform::driveFixed, std::string(200, static_cast<char>('a' + k % 26)),
                                             std::string(60, 'f'), static_cast<std::uint32_t>(k), true};
        fake.volumes.push_back(volume);
        lines += volumeLine(volume);
    }
    const std::string report = reportOf(fake);
    EXPECT_GT(report.size(), 8192u * 3);
    EXPECT_EQ(heading + missingLine(0, 15) + "\n" + lines + "\n" + "WIN2K", report);
}
}  // namespace
