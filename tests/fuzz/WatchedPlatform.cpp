#include "WatchedPlatform.h"

#include <cstring>

bool WatchedPlatform::wroteAnything() const {
    for (const Transfer& transfer : noted)
        if (transfer.write) return true;
    return false;
}

DiskPlatform::Handle WatchedPlatform::createFile(const char* name, std::uint32_t access, std::uint32_t shareMode,
                                                 std::uint32_t creation, std::uint32_t flags) {
    const Handle handle = FakePlatform::createFile(name, access, shareMode, creation, flags);
    if (handle != invalidHandle && std::strcmp(name, "\\\\.\\PhysicalDrive0") == 0) {
        driveHandle = handle;
        position = 0;
    }
    return handle;
}

std::uint32_t WatchedPlatform::setFilePointer(Handle handle, std::int32_t low, std::int32_t* high,
                                              std::uint32_t method) {
    const std::uint64_t wanted = (std::uint64_t{static_cast<std::uint32_t>(high ? *high : 0)} << 32) |
                                 static_cast<std::uint32_t>(low);
    const std::uint32_t result = FakePlatform::setFilePointer(handle, low, high, method);
    const bool moved = result != invalidSetFilePointer || getLastError() == 0;
    if (handle == driveHandle && moved) position = wanted;
    return result;
}

bool WatchedPlatform::readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) {
    if (handle == driveHandle) noted.push_back({position, length, false});
    const bool read = FakePlatform::readFile(handle, buffer, length, delivered);
    if (handle == driveHandle && read) position += *delivered;
    return read;
}

bool WatchedPlatform::writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) {
    if (handle == driveHandle) noted.push_back({position, length, true});
    const bool wrote = FakePlatform::writeFile(handle, buffer, length, written);
    if (handle == driveHandle && wrote) position += *written;
    return wrote;
}
