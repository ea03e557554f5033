#pragma once

#include <map>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"
#include "disk/MountTable.h"

// The disk services on Linux and other POSIX systems. "\\.\vwin32" never opens, so the
// physical-drive back end is used; "\\.\PhysicalDrive<N>" is the N-th entry of
// VELMORAN_DRIVES (':'-separated image files or block devices) or, without the variable,
// the N-th whole-disk block device in name order. Each drive keeps the size it had when it
// was opened, rounded down to whole sectors; transfers are single pread/pwrite calls.
class PosixPlatform : public DiskPlatform {
public:
    // Where the logical drives of the drive report come from: the mount table, the system's
    // device folder (removable and optical disks) and the folder of volume label links.
    struct VolumeSources {
        std::string mountsFile;
        std::string sysFolder;
        std::string byLabelFolder;
    };
    static VolumeSources systemVolumeSources();

    PosixPlatform();
    explicit PosixPlatform(const VolumeSources& volumeSources);
    ~PosixPlatform() override;

    Handle createFile(const char* name, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                      std::uint32_t flags) override;
    std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t method) override;
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override;
    bool writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override;
    bool closeHandle(Handle handle) override;
    bool getDriveLength(Handle handle, std::uint64_t* length) override;
    std::uint32_t getLastError() override { return lastError; }
    // flock on the open drive: the kernel keys it to the device or file itself, so a symbolic
    // link and its target meet the same lock, and releases it when the process ends.
    DriveLock lockDrive(Handle handle, bool exclusive, bool wait) override;
    // posix_fadvise: a kernel reading ahead by megabytes would otherwise read a whole disk
    // for reads of a few KiB a MiB apart. What it may have read ahead of the position is
    // dropped, for the marks in those pages would start the next read-ahead all the same; the
    // cache elsewhere stays, so that a second run finds it.
    void adviseReads(Handle handle, ReadPattern pattern, std::uint64_t position) override;

    Module loadLibrary(const char* name) override;
    Procedure getProcAddress(Module module, const char* name) override;

    std::uint32_t getLogicalDriveStrings(std::uint32_t length, char* buffer) override;
    std::uint32_t getDriveType(const char* rootPath) override;
    bool getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                              std::uint32_t* serialNumber, char* fileSystemName,
                              std::uint32_t fileSystemNameLength) override;

    // The machine's whole-disk block devices in name order, at most 16: no loop, RAM,
    // device-mapper, md or optical devices.
    static std::vector<std::string> machineDrives(const std::string& sysBlockFolder = "/sys/block");

private:
    struct OpenDrive {
        int descriptor;
        std::uint64_t size;
        std::uint64_t position;
    };

    std::string drivePath(int number);
    OpenDrive* find(Handle handle);
    bool fail(std::uint32_t code);

    std::vector<MountTable::Mount> blockDeviceMounts() const;

    VolumeSources volumeSources;
    std::map<Handle, OpenDrive> openDrives;
    std::uint32_t lastError = 0;
};
