#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"

// The disk services of Windows: every call goes straight to the Win32 function of the same
// name. When VELMORAN_DRIVES is set, "\\.\PhysicalDrive<N>" stands for its N-th ';'-separated
// entry instead (an image file or a device path), opened by the same CreateFileA call. Such a
// stand-in behaves like a drive: its size is fixed when it is opened, rounded down to whole
// sectors; a read delivers the whole sectors that exist from the position on and fails at or
// past the end; a write that does not fit wholly fails and writes nothing, so the file never grows.
class WindowsPlatform : public DiskPlatform {
public:
    WindowsPlatform();
    ~WindowsPlatform() override;

    WindowsPlatform(const WindowsPlatform&) = delete;
    WindowsPlatform& operator=(const WindowsPlatform&) = delete;

    Handle createFile(const char* name, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                      std::uint32_t flags) override;
    std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t method) override;
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override;
    bool writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override;
    bool closeHandle(Handle handle) override;
    bool getDriveLength(Handle handle, std::uint64_t* length) override;
    std::uint32_t getLastError() override;
    // A shared or exclusive lock (LockFileEx) on the first byte of a lock file per drive in
    // ProgramData (or the temporary folder), named after what the drive is (a device's number, a
    // file's volume and index), not after the name it was opened by. Closing the file, or the end
    // of the process (by a crash too), releases it.
    DriveLock lockDrive(Handle handle, bool exclusive, bool wait) override;
    // Ignored: a handle's read-ahead is chosen when it is opened, and the cache follows strided
    // reads on its own.
    void adviseReads(Handle, ReadPattern, std::uint64_t) override {}

    Module loadLibrary(const char* name) override;
    Procedure getProcAddress(Module module, const char* name) override;

    std::uint32_t getLogicalDriveStrings(std::uint32_t length, char* buffer) override;
    std::uint32_t getDriveType(const char* rootPath) override;
    bool getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                              std::uint32_t* serialNumber, char* fileSystemName,
                              std::uint32_t fileSystemNameLength) override;

private:
    // The path that a device name stands for: the name itself, or a VELMORAN_DRIVES entry
    // (empty when that drive does not exist).
    static std::string targetPath(const char* name, bool* standIn);
    bool currentPosition(Handle handle, std::uint64_t* position);
    bool moveTo(Handle handle, std::uint64_t position);

    void releaseLock(Handle handle);

    // Sizes of the open stand-in files, by handle; real devices are not listed.
    std::map<Handle, std::uint64_t> standInSizes;
    // The lock file each locked handle holds open.
    std::map<Handle, void*> heldLocks;
};
