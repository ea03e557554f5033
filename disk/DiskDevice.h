#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"

enum DiskBackEnd : std::int32_t {
    PhysicalDrive = 0,      // "\\.\vwin32" could not be opened: drives are physical-drive devices
    Disk32Library = 1,      // Windows 9x with "Disk32.DLL" and all three of its functions
    Disk32Unavailable = 2,  // Windows 9x, but the library or one of its functions is missing
};

// Sector-aligned access to one physical drive at a time. The Windows family is decided once,
// at construction, by whether "\\.\vwin32" opens: on the NT family every drive is a
// "\\.\PhysicalDrive<N>" device; on the 9x family sectors move one at a time through
// ReadDisk32/WriteDisk32 of "Disk32.DLL", addressed by BIOS drive number and sector number.
//
// Use: construct, check isUsable, open a drive, then seek/read/write. A transfer without a
// seek before it continues where the previous one ended. Lengths are multiples of 512.
// Nothing here prints, except the messages 301 to 304 when the 9x library cannot be set up.
class DiskDevice {
public:
    explicit DiskDevice(DiskPlatform& platform);
    virtual ~DiskDevice();

    DiskDevice(const DiskDevice&) = delete;
    DiskDevice& operator=(const DiskDevice&) = delete;

    bool isUsable() const;
    DiskBackEnd backEndInUse() const { return backEnd; }

    // True when the drive exists; it is then the current drive.
    bool open(std::int32_t driveIndex);
    // The next transfer begins at the offset rounded down to a whole sector.
    bool seek(std::uint64_t offset);
    // The number of bytes delivered; 0 on failure.
    std::uint32_t read(void* buffer, std::uint32_t length);
    bool write(const void* buffer, std::uint32_t length);
    // Locks the current drive until it is closed (DiskPlatform::lockDrive). The 9x library moves
    // sectors by drive number and holds no handle of the drive: nothing can be locked there.
    bool canLock() const { return backEnd == PhysicalDrive; }
    DiskPlatform::DriveLock lock(bool exclusive, bool wait);
    // A hint for the reads to come on the current drive (DiskPlatform::adviseReads).
    void adviseReads(DiskPlatform::ReadPattern pattern, std::uint64_t position);
    // The current drive's length in bytes; false when the system cannot tell it, as the 9x
    // library cannot.
    bool driveLength(std::uint64_t* length);

    static constexpr std::uint32_t sectorSize = 512;
    static std::uint32_t alignToSector(std::uint32_t value) { return value & ~(sectorSize - 1); }

    // "WIN9x" or "WIN2K"; the text stays owned by the device.
    const char* osFamilyName();
    // One line per logical drive that is not removable or optical; owned by the device.
    const char* volumeReport();

private:
    void chooseLibraryBackEnd();
    std::uint32_t readLibrarySectors(std::uint8_t* buffer, std::uint32_t length);
    bool writeLibrarySectors(const std::uint8_t* buffer, std::uint32_t length);
    std::uint32_t callDisk32(DiskPlatform::Disk32Function function, std::uint8_t* scratch,
                             std::uint64_t sector) const;
    // The platform's logical-drive list, ended by an empty string, however long it is.
    std::vector<char> logicalDriveList();
    void appendVolumeLine(const char* rootPath);

    DiskPlatform& platform;
    DiskBackEnd backEnd = PhysicalDrive;
    std::unique_ptr<char[]> osNameText;
    std::string volumeReportText;  // grows with the drives it lists
    DiskPlatform::Handle handle = DiskPlatform::invalidHandle;
    DiskPlatform::Disk32Function readDisk32 = nullptr;
    DiskPlatform::Disk32Function writeDisk32 = nullptr;
    DiskPlatform::Procedure checkInt13Extension32 = nullptr;
    DiskPlatform::Module library = nullptr;
    std::uint64_t currentSector = 0;
    std::int32_t driveIndex = 0;
};
