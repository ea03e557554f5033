#pragma once

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VELMORAN_WINAPI __stdcall
#else
#define VELMORAN_WINAPI
#endif

// The narrow set of Win32 services that raw disk access and the drive report use, behind
// one interface so that the disk code is written once. Three implementations exist: the
// real Win32 calls (WindowsPlatform), a POSIX layer over block devices and disk-image files
// (PosixPlatform), and an in-memory, fault-injecting double for the tests.
//
// Contracts, shared by every implementation (they follow the Win32 calls of the same names):
// - getLastError: the code of the last call that failed. A call that succeeds leaves it as
//   it was (as Win32 does), so it tells nothing unless the call before it failed; the one
//   exception is setFilePointer, which sets it to 0 when it succeeds with a low half of
//   invalidSetFilePointer.
// - createFile: opens a device or file; returns invalidHandle on failure. "\\.\vwin32"
//   exists only on the Windows 9x family. "\\.\PhysicalDrive<N>" names drive N.
// - setFilePointer: moves the handle's position to (high << 32 | low) for moveBegin and
//   returns the new low half; on failure returns invalidSetFilePointer and getLastError()
//   is non-zero. A position past the end is not an error.
// - readFile / writeFile: a call may move fewer bytes than asked and still succeed; the
//   count tells how many moved and the position advances by it. A drive has a fixed size:
//   a read delivers the whole sectors that exist from the position on and fails (false,
//   count 0) at or past the end; a write that does not fit wholly fails and writes nothing.
// - loadLibrary / getProcAddress: run-time loading of the Win9x "Disk32.DLL"; null when
//   the library or the name is missing.
// - getLogicalDriveStrings / getDriveType / getVolumeInformation: the PC's logical drives
//   for the drive report. getLogicalDriveStrings fills root paths, each ended by a zero
//   byte, the list ended by an empty string, and returns the length without the last zero
//   (or the length needed, when the buffer is too small).
// - lockDrive: an advisory lock on the drive behind an open handle, shared (any number of
//   holders) or exclusive (one holder, no shared ones), which every process that asks for it on
//   the same drive meets, whatever name it opened the drive by. It is held until the handle is
//   closed or the process ends, by a crash too. With wait false a lock that another holder keeps
//   from being taken answers Busy at once; with wait true the call waits until it can be taken.
//   Unsupported: the drive cannot be locked here (a file system without locks); nothing is held.
// - getDriveLength: the length in bytes of the drive or image file open on the handle, in
//   whole sectors; false when the system cannot tell it (a drive whose size is unknown).
// - adviseReads: a hint for the reads to come on the handle. Scattered: small reads far apart
//   from `position` on, so the system reads nothing ahead of them and forgets what it had read
//   ahead of that position; Streaming (as after opening): reads that follow each other. It
//   changes no data, no position and no last error, and a system without such hints ignores it.
class DiskPlatform {
public:
    using Handle = std::intptr_t;
    using Module = void*;
    using Procedure = void (*)();
    enum class DriveLock { Taken, Busy, Unsupported };
    enum class ReadPattern { Streaming, Scattered };
    // ReadDisk32 and WriteDisk32 of "Disk32.DLL": drive (0x80 + n), four constants, the
    // 512-byte sector buffer, the sector number and one more constant; non-zero on success.
    using Disk32Function = std::uint32_t(VELMORAN_WINAPI*)(std::uint32_t, std::uint32_t, std::uint32_t,
                                                           std::uint32_t, std::uint32_t, void*,
                                                           std::uint32_t, std::uint32_t);

    static constexpr Handle invalidHandle = -1;
    static constexpr std::uint32_t invalidSetFilePointer = 0xFFFFFFFFu;
    static constexpr std::uint32_t genericRead = 0x80000000u;
    static constexpr std::uint32_t genericWrite = 0x40000000u;
    static constexpr std::uint32_t fileShareRead = 1;
    static constexpr std::uint32_t fileShareWrite = 2;
    static constexpr std::uint32_t openExisting = 3;
    static constexpr std::uint32_t fileFlagDeleteOnClose = 0x04000000u;
    static constexpr std::uint32_t moveBegin = 0;
    static constexpr std::uint32_t driveRemovable = 2;
    static constexpr std::uint32_t driveFixed = 3;
    static constexpr std::uint32_t driveRemote = 4;
    static constexpr std::uint32_t driveCdrom = 5;

    virtual ~DiskPlatform() = default;

    // The implementation of the system the tool runs on; it lives until the process ends.
    static DiskPlatform& system();

    virtual Handle createFile(const char* name, std::uint32_t access, std::uint32_t shareMode,
                              std::uint32_t creation, std::uint32_t flags) = 0;
    virtual std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high,
                                         std::uint32_t method) = 0;
    virtual bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) = 0;
    virtual bool writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) = 0;
    virtual bool closeHandle(Handle handle) = 0;
    virtual bool getDriveLength(Handle handle, std::uint64_t* length) = 0;
    virtual std::uint32_t getLastError() = 0;
    virtual DriveLock lockDrive(Handle handle, bool exclusive, bool wait) = 0;
    virtual void adviseReads(Handle handle, ReadPattern pattern, std::uint64_t position) = 0;

    virtual Module loadLibrary(const char* name) = 0;
    virtual Procedure getProcAddress(Module module, const char* name) = 0;

    virtual std::uint32_t getLogicalDriveStrings(std::uint32_t length, char* buffer) = 0;
    virtual std::uint32_t getDriveType(const char* rootPath) = 0;
    virtual bool getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                                      std::uint32_t* serialNumber, char* fileSystemName,
                                      std::uint32_t fileSystemNameLength) = 0;
};
