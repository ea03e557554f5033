#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"

// An in-memory stand-in for the disk services, as strict as Win32: drives are byte vectors of
// a fixed size, every call is logged, a call that succeeds leaves the last error as it was,
// and faults can be ordered (a drive that does not open; the k-th seek, read or write
// failing; the k-th read or write moving only half of its length and still succeeding;
// "\\.\vwin32" present, the 9x library or one of its functions missing, the k-th library
// call failing). Logical drives for the drive report come from a scripted list.
class FakePlatform : public DiskPlatform {
public:
    struct Volume {
        std::string root;
        std::uint32_t type;
        std::string name;
        std::string fileSystem;
        std::uint32_t serial;
        bool readable;
    };

    FakePlatform();
    ~FakePlatform() override;

    // A drive of `size` bytes (rounded down to sectors), zero-filled.
    std::vector<std::uint8_t>& addDrive(int number, std::uint64_t size);
    std::vector<std::uint8_t>& drive(int number) { return drives.at(number); }
    void putSignature(int number);

    // Faults and the 9x family.
    std::set<int> unopenableDrives;
    int failSeekAt = 0;    // the k-th setFilePointer fails (counted from 1); 0: never
    int failReadAt = 0;    // the k-th readFile fails
    int failWriteAt = 0;   // the k-th writeFile fails
    int shortReadAt = 0;   // the k-th readFile delivers half of what it could, whole sectors
    int shortWriteAt = 0;  // the k-th writeFile writes half of its length, whole sectors
    // Bad sectors, by drive: every read that covers one fails, as on a damaged disk.
    std::map<int, std::set<std::uint64_t>> unreadableSectors;
    // As Linux does, a read that covers a bad sector delivers the sectors before it; only
    // one that begins at a bad sector fails.
    bool badSectorsEndReads = false;
    // The reads that failed or stopped short at each bad sector they covered, by sector number.
    std::map<std::uint64_t, int> failedReadsOf;
    // Drives whose length the system cannot tell.
    std::set<int> drivesOfUnknownLength;
    // Some drives take only buffers on such a boundary; a transfer from or into any other
    // buffer fails with ERROR_INVALID_PARAMETER. 1: any buffer.
    std::uintptr_t bufferAlignment = 1;
    bool vwin32Present = false;
    bool libraryPresent = true;
    std::set<std::string> missingFunctions;
    int failLibraryCallAt = 0;  // the k-th ReadDisk32/WriteDisk32 call returns 0
    // Locks: a drive held by another process answers Busy to a try (a wait takes it: that process
    // ends meanwhile); one without locks answers Unsupported; so does a wait on one whose waits fail.
    std::set<int> lockedElsewhere;
    std::set<int> drivesWithoutLocks;
    std::set<int> failingWaits;

    std::vector<Volume> volumes;

    // "CreateFileA <name>", "ReadFile <length>", "SetFilePointer <position>", "ReadDisk32 <drive> <sector>",
    // "LockDrive <drive> shared|exclusive try|wait" ...
    std::vector<std::string> calls;
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
    int seekCount = 0;
    int readCount = 0;
    int writeCount = 0;
    int libraryCalls = 0;

    Handle createFile(const char* name, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                      std::uint32_t flags) override;
    std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t method) override;
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override;
    bool writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override;
    bool closeHandle(Handle handle) override;
    bool getDriveLength(Handle handle, std::uint64_t* length) override;
    std::uint32_t getLastError() override { return lastError; }
    // What a test wants a later success to leave in place.
    void setLastError(std::uint32_t code) { lastError = code; }
    DriveLock lockDrive(Handle handle, bool exclusive, bool wait) override;
    // Logged as "AdviseReads <drive> scattered <position>|streaming".
    void adviseReads(Handle handle, ReadPattern pattern, std::uint64_t position) override;
    Module loadLibrary(const char* name) override;
    Procedure getProcAddress(Module module, const char* name) override;
    std::uint32_t getLogicalDriveStrings(std::uint32_t length, char* buffer) override;
    std::uint32_t getDriveType(const char* rootPath) override;
    bool getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                              std::uint32_t* serialNumber, char* fileSystemName,
                              std::uint32_t fileSystemNameLength) override;

    // The library functions reach the fake that is alive.
    std::uint32_t libraryTransfer(bool write, std::uint32_t driveNumber, void* sector, std::uint32_t lba);

private:
    bool coversUnreadableSector(int drive, std::uint64_t position, std::uint64_t length) const;
    // The bytes a read of `length` at `position` delivers before a bad sector stops it.
    std::uint64_t readableBefore(int drive, std::uint64_t position, std::uint64_t length);

    struct OpenFile {
        int drive;  // -1: "\\.\vwin32"
        std::uint64_t position;
    };

    std::map<int, std::vector<std::uint8_t>> drives;
    std::map<Handle, OpenFile> openFiles;
    Handle nextHandle = 100;
    std::uint32_t lastError = 0;
};
