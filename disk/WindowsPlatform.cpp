#include "disk/WindowsPlatform.h"

#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "disk/DriveList.h"

namespace {
constexpr std::uint64_t sectorSize = 512;

HANDLE toWin32(DiskPlatform::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

bool failWith(DWORD code) {
    SetLastError(code);
    return false;
}

// The size of an open file rounded down to whole sectors; false for devices, which have none.
bool fileSize(HANDLE file, std::uint64_t* size) {
    LARGE_INTEGER bytes;
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &bytes) || bytes.QuadPart < 0) return false;
    *size = static_cast<std::uint64_t>(bytes.QuadPart);
    *size -= *size % sectorSize;
    return true;
}
// What the drive behind a handle is, the same whatever name opened it: a file by its volume and
// index, a device by its type and number. False when neither can be told.
bool driveIdentity(HANDLE drive, std::string* identity) {
    char text[64];
    BY_HANDLE_FILE_INFORMATION file;
    if (GetFileInformationByHandle(drive, &file)) {
        std::snprintf(text, sizeof text, "file-%08lX-%08lX%08lX", static_cast<unsigned long>(file.dwVolumeSerialNumber),
                      static_cast<unsigned long>(file.nFileIndexHigh), static_cast<unsigned long>(file.nFileIndexLow));
        *identity = text;
        return true;
    }
    STORAGE_DEVICE_NUMBER device;
    DWORD returned = 0;
    if (!DeviceIoControl(drive, IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &device, sizeof device, &returned,
                         nullptr))
        return false;
    std::snprintf(text, sizeof text, "device-%lu-%lu", static_cast<unsigned long>(device.DeviceType),
                  static_cast<unsigned long>(device.DeviceNumber));
    *identity = text;
    return true;
}

// Opens (or makes) the lock file of a drive, named after what the drive is: in the folder all
// users share (ProgramData), so that commands of other sessions and users meet it too; where
// that cannot be had, in the user's temporary folder. The file stays when the lock goes: a
// deleted one could leave two holders with two files.
HANDLE openLockFile(const std::string& identity) {
    const std::string name = "VelmoranDisk-" + identity + ".lock";
    char folder[MAX_PATH + 1];
    std::vector<std::string> paths;
    DWORD length = GetEnvironmentVariableA("ProgramData", folder, sizeof folder);
    if (length > 0 && length < sizeof folder) paths.push_back(std::string(folder, length) + "\\" + name);
    length = GetTempPathA(sizeof folder, folder);
    if (length > 0 && length <= MAX_PATH) paths.push_back(std::string(folder, length) + name);
    for (const std::string& path : paths) {
        // Reading is all a lock needs, and all that another user's file may grant.
        const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
    }
    return INVALID_HANDLE_VALUE;
}
}  // namespace

DiskPlatform& DiskPlatform::system() {
    // Never destroyed: the process-wide recorder disk closes its drive through it at exit.
    static WindowsPlatform* const platform = new WindowsPlatform;
    return *platform;
}

WindowsPlatform::WindowsPlatform() = default;

WindowsPlatform::~WindowsPlatform() {
    while (!heldLocks.empty()) releaseLock(heldLocks.begin()->first);
    for (const auto& entry : standInSizes) CloseHandle(toWin32(entry.first));
}

std::string WindowsPlatform::targetPath(const char* name, bool* standIn) {
    *standIn = false;
    const int number = DriveList::physicalDriveNumber(name);
    std::vector<std::string> drives;
    if (number < 0 || !DriveList::fromEnvironment(';', &drives)) return name;
    *standIn = true;
    if (static_cast<std::size_t>(number) >= drives.size()) return std::string();
    return drives[static_cast<std::size_t>(number)];
}

DiskPlatform::Handle WindowsPlatform::createFile(const char* name, std::uint32_t access, std::uint32_t shareMode,
                                                 std::uint32_t creation, std::uint32_t flags) {
    bool standIn = false;
    const std::string path = targetPath(name, &standIn);
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return invalidHandle;
    }
    const HANDLE file = CreateFileA(path.c_str(), access, shareMode, nullptr, creation, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return invalidHandle;
    const Handle handle = reinterpret_cast<Handle>(file);
    std::uint64_t size = 0;
    // A drive given by VELMORAN_DRIVES may itself be a device; that one passes straight through.
    if (standIn && fileSize(file, &size)) standInSizes[handle] = size;
    return handle;
}

std::uint32_t WindowsPlatform::setFilePointer(Handle handle, std::int32_t low, std::int32_t* high,
                                              std::uint32_t method) {
    LONG highPart = high ? *high : 0;
    const DWORD result = SetFilePointer(toWin32(handle), low, high ? &highPart : nullptr, method);
    if (high) *high = highPart;
    return result;
}

bool WindowsPlatform::currentPosition(Handle handle, std::uint64_t* position) {
    LARGE_INTEGER distance;
    distance.QuadPart = 0;
    LARGE_INTEGER now;
    if (!SetFilePointerEx(toWin32(handle), distance, &now, FILE_CURRENT)) return false;
    *position = static_cast<std::uint64_t>(now.QuadPart);
    return true;
}

bool WindowsPlatform::moveTo(Handle handle, std::uint64_t position) {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(position);
    return SetFilePointerEx(toWin32(handle), distance, nullptr, FILE_BEGIN) != 0;
}

bool WindowsPlatform::readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) {
    *delivered = 0;
    DWORD count = 0;
    const auto standIn = standInSizes.find(handle);
    if (standIn == standInSizes.end()) {
        const bool done = ReadFile(toWin32(handle), buffer, length, &count, nullptr) != 0;
        *delivered = count;
        return done;
    }
    const std::uint64_t size = standIn->second;
    std::uint64_t position = 0;
    if (!currentPosition(handle, &position)) return false;
    if (position >= size) return failWith(ERROR_SECTOR_NOT_FOUND);
    const DWORD wanted = static_cast<DWORD>(std::min<std::uint64_t>(length, size - position));
    if (!ReadFile(toWin32(handle), buffer, wanted, &count, nullptr)) count = 0;
    // Only whole sectors count; the position stays behind the last of them.
    const DWORD whole = static_cast<DWORD>(count - count % sectorSize);
    if (whole != count) moveTo(handle, position + whole);
    if (whole == 0) return failWith(ERROR_READ_FAULT);
    *delivered = whole;
    return true;
}

bool WindowsPlatform::writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) {
    *written = 0;
    const auto standIn = standInSizes.find(handle);
    if (standIn != standInSizes.end()) {
        const std::uint64_t size = standIn->second;
        std::uint64_t position = 0;
        if (!currentPosition(handle, &position)) return false;
        // A drive does not grow: what does not fit is not written at all.
        if (position > size || length > size - position) return failWith(ERROR_SECTOR_NOT_FOUND);
    }
    DWORD count = 0;
    const bool done = WriteFile(toWin32(handle), buffer, length, &count, nullptr) != 0;
    *written = count;
    return done;
}

DiskPlatform::DriveLock WindowsPlatform::lockDrive(Handle handle, bool exclusive, bool wait) {
    std::string identity;
    if (!driveIdentity(toWin32(handle), &identity)) return DriveLock::Unsupported;
    releaseLock(handle);
    const HANDLE file = openLockFile(identity);
    if (file == INVALID_HANDLE_VALUE) return DriveLock::Unsupported;
    OVERLAPPED firstByte = {};
    const DWORD flags = (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!LockFileEx(file, flags, 0, 1, 0, &firstByte)) {
        const bool busy = GetLastError() == ERROR_LOCK_VIOLATION;
        CloseHandle(file);
        return busy ? DriveLock::Busy : DriveLock::Unsupported;
    }
    heldLocks[handle] = file;
    return DriveLock::Taken;
}

void WindowsPlatform::releaseLock(Handle handle) {
    const auto held = heldLocks.find(handle);
    if (held == heldLocks.end()) return;
    CloseHandle(static_cast<HANDLE>(held->second));
    heldLocks.erase(held);
}

bool WindowsPlatform::closeHandle(Handle handle) {
    releaseLock(handle);
    standInSizes.erase(handle);
    return CloseHandle(toWin32(handle)) != 0;
}

bool WindowsPlatform::getDriveLength(Handle handle, std::uint64_t* length) {
    const auto standIn = standInSizes.find(handle);
    if (standIn != standInSizes.end()) {
        *length = standIn->second;
        return true;
    }
    GET_LENGTH_INFORMATION information;
    DWORD returned = 0;
    if (!DeviceIoControl(toWin32(handle), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &information, sizeof information,
                         &returned, nullptr) ||
        information.Length.QuadPart < 0)
        return false;
    *length = static_cast<std::uint64_t>(information.Length.QuadPart);
    *length -= *length % sectorSize;
    return true;
}

std::uint32_t WindowsPlatform::getLastError() { return GetLastError(); }

DiskPlatform::Module WindowsPlatform::loadLibrary(const char* name) { return LoadLibraryA(name); }

DiskPlatform::Procedure WindowsPlatform::getProcAddress(Module module, const char* name) {
    // The caller casts the entry point back to the library's own function type.
    return reinterpret_cast<Procedure>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::uint32_t WindowsPlatform::getLogicalDriveStrings(std::uint32_t length, char* buffer) {
    return GetLogicalDriveStringsA(length, buffer);
}

std::uint32_t WindowsPlatform::getDriveType(const char* rootPath) { return GetDriveTypeA(rootPath); }

bool WindowsPlatform::getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                                           std::uint32_t* serialNumber, char* fileSystemName,
                                           std::uint32_t fileSystemNameLength) {
    DWORD serial = 0;
    const bool done = GetVolumeInformationA(rootPath, volumeName, volumeNameLength, &serial, nullptr, nullptr,
                                            fileSystemName, fileSystemNameLength) != 0;
    if (serialNumber) *serialNumber = serial;
    return done;
}
