#include "disk/FakePlatform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "disk/DriveList.h"
#include "disk/RecorderDisk.h"

namespace {
FakePlatform* activeFake = nullptr;
int fakeLibraryModule;

std::uint32_t VELMORAN_WINAPI fakeReadDisk32(std::uint32_t drive, std::uint32_t, std::uint32_t, std::uint32_t,
                                             std::uint32_t, void* sector, std::uint32_t lba, std::uint32_t) {
    return activeFake->libraryTransfer(false, drive, sector, lba);
}

std::uint32_t VELMORAN_WINAPI fakeWriteDisk32(std::uint32_t drive, std::uint32_t, std::uint32_t, std::uint32_t,
                                              std::uint32_t, void* sector, std::uint32_t lba, std::uint32_t) {
    return activeFake->libraryTransfer(true, drive, sector, lba);
}

void fakeCheckInt13Extension32() {}

std::uint64_t halfInWholeSectors(std::uint64_t length) { return length / 2 - (length / 2) % 512; }
}  // namespace

FakePlatform::FakePlatform() { activeFake = this; }

FakePlatform::~FakePlatform() {
    if (activeFake == this) activeFake = nullptr;
}

std::vector<std::uint8_t>& FakePlatform::addDrive(int number, std::uint64_t size) {
    drives[number].assign(size - size % 512, 0);
    return drives[number];
}

void FakePlatform::putSignature(int number) {
    std::memcpy(drives.at(number).data(), RecorderDisk::diskSignature, RecorderDisk::signatureSize);
}

std::vector<std::string> FakePlatform::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> matching;
    for (const std::string& call : calls)
        if (call.compare(0, prefix.size(), prefix) == 0) matching.push_back(call);
    return matching;
}

DiskPlatform::Handle FakePlatform::createFile(const char* name, std::uint32_t, std::uint32_t, std::uint32_t,
                                              std::uint32_t) {
    calls.push_back(std::string("CreateFileA ") + name);
    if (std::strcmp(name, "\\\\.\\vwin32") == 0) {
        if (!vwin32Present) return lastError = 2, invalidHandle;
        openFiles[nextHandle] = OpenFile{-1, 0};
        return nextHandle++;
    }
    const int number = DriveList::physicalDriveNumber(name);
    if (number < 0 || drives.count(number) == 0 || unopenableDrives.count(number) != 0) {
        lastError = 2;
        return invalidHandle;
    }
    openFiles[nextHandle] = OpenFile{number, 0};
    return nextHandle++;
}

std::uint32_t FakePlatform::setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t) {
    const std::uint64_t position =
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high ? *high : 0)) << 32) | static_cast<std::uint32_t>(low);
    calls.push_back("SetFilePointer " + std::to_string(position));
    ++seekCount;
    auto file = openFiles.find(handle);
    if (file == openFiles.end()) return lastError = 6, invalidSetFilePointer;
    if (seekCount == failSeekAt) return lastError = 87, invalidSetFilePointer;
    file->second.position = position;
    if (static_cast<std::uint32_t>(low) == invalidSetFilePointer) lastError = 0;
    return static_cast<std::uint32_t>(low);
}

bool FakePlatform::readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) {
    calls.push_back("ReadFile " + std::to_string(length));
    *delivered = 0;
    ++readCount;
    auto file = openFiles.find(handle);
    if (file == openFiles.end() || file->second.drive < 0) return lastError = 6, false;
    if (readCount == failReadAt) return lastError = 30, false;
    if (reinterpret_cast<std::uintptr_t>(buffer) % bufferAlignment != 0) return lastError = 87, false;
    const std::vector<std::uint8_t>& bytes = drives.at(file->second.drive);
    if (file->second.position >= bytes.size()) return lastError = 27, false;
    std::uint64_t count = std::min<std::uint64_t>(length, bytes.size() - file->second.position);
    if (coversUnreadableSector(file->second.drive, file->second.position, count)) {
        count = readableBefore(file->second.drive, file->second.position, count);
        if (count == 0) return lastError = 23, false;
    }
    if (readCount == shortReadAt) count = halfInWholeSectors(count);
    std::memcpy(buffer, bytes.data() + file->second.position, count);
    file->second.position += count;
    *delivered = static_cast<std::uint32_t>(count);
    return true;
}

bool FakePlatform::writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) {
    calls.push_back("WriteFile " + std::to_string(length));
    *written = 0;
    ++writeCount;
    auto file = openFiles.find(handle);
    if (file == openFiles.end() || file->second.drive < 0) return lastError = 6, false;
    if (writeCount == failWriteAt) return lastError = 30, false;
    if (reinterpret_cast<std::uintptr_t>(buffer) % bufferAlignment != 0) return lastError = 87, false;
    std::vector<std::uint8_t>& bytes = drives.at(file->second.drive);
    if (file->second.position > bytes.size() || length > bytes.size() - file->second.position)
        return lastError = 27, false;
    const std::uint32_t count =
        writeCount == shortWriteAt ? static_cast<std::uint32_t>(halfInWholeSectors(length)) : length;
    std::memcpy(bytes.data() + file->second.position, buffer, count);
    file->second.position += count;
    *written = count;
    return true;
}

DiskPlatform::DriveLock FakePlatform::lockDrive(Handle handle, bool exclusive, bool wait) {
    const auto file = openFiles.find(handle);
    const int number = file == openFiles.end() ? -1 : file->second.drive;
    calls.push_back("LockDrive " + std::to_string(number) + (exclusive ? " exclusive" : " shared") +
                    (wait ? " wait" : " try"));
    if (number < 0) return lastError = 6, DriveLock::Unsupported;
    if (drivesWithoutLocks.count(number) != 0 || (wait && failingWaits.count(number) != 0))
        return lastError = 50, DriveLock::Unsupported;
    if (lockedElsewhere.count(number) != 0 && !wait) return lastError = 33, DriveLock::Busy;
    return DriveLock::Taken;
}

void FakePlatform::adviseReads(Handle handle, ReadPattern pattern, std::uint64_t position) {
    const auto file = openFiles.find(handle);
    const int number = file == openFiles.end() ? -1 : file->second.drive;
    calls.push_back("AdviseReads " + std::to_string(number) +
                    (pattern == ReadPattern::Scattered ? " scattered " + std::to_string(position) : " streaming"));
}

bool FakePlatform::closeHandle(Handle handle) {
    calls.push_back("CloseHandle");
    return openFiles.erase(handle) == 1;
}

DiskPlatform::Module FakePlatform::loadLibrary(const char* name) {
    calls.push_back(std::string("LoadLibraryA ") + name);
    return libraryPresent ? &fakeLibraryModule : nullptr;
}

DiskPlatform::Procedure FakePlatform::getProcAddress(Module, const char* name) {
    calls.push_back(std::string("GetProcAddress ") + name);
    if (missingFunctions.count(name) != 0) return nullptr;
    if (std::strcmp(name, "ReadDisk32") == 0) return reinterpret_cast<Procedure>(&fakeReadDisk32);
    if (std::strcmp(name, "WriteDisk32") == 0) return reinterpret_cast<Procedure>(&fakeWriteDisk32);
    if (std::strcmp(name, "CheckInt13Extension32") == 0) return &fakeCheckInt13Extension32;
    return nullptr;
}

std::uint32_t FakePlatform::libraryTransfer(bool write, std::uint32_t driveNumber, void* sector, std::uint32_t lba) {
    calls.push_back(std::string(write ? "WriteDisk32 " : "ReadDisk32 ") + std::to_string(driveNumber) + " " +
                    std::to_string(lba));
    if (++libraryCalls == failLibraryCallAt) return 0;
    const int number = static_cast<int>(driveNumber) - 0x80;
    auto found = drives.find(number);
    if (found == drives.end() || unopenableDrives.count(number) != 0) return 0;
    const std::uint64_t offset = std::uint64_t{lba} * 512;
    if (offset + 512 > found->second.size()) return 0;
    if (!write && coversUnreadableSector(number, offset, 512)) return 0;
    if (write)
        std::memcpy(found->second.data() + offset, sector, 512);
    else
        std::memcpy(sector, found->second.data() + offset, 512);
    return 1;
}

bool FakePlatform::coversUnreadableSector(int drive, std::uint64_t position, std::uint64_t length) const {
    const auto bad = unreadableSectors.find(drive);
    if (bad == unreadableSectors.end() || length == 0) return false;
    const auto first = bad->second.lower_bound(position / 512);
    return first != bad->second.end() && *first <= (position + length - 1) / 512;
}

std::uint64_t FakePlatform::readableBefore(int drive, std::uint64_t position, std::uint64_t length) {
    const std::set<std::uint64_t>& bad = unreadableSectors.at(drive);
    auto sector = bad.lower_bound(position / 512);
    if (badSectorsEndReads) return ++failedReadsOf[*sector], *sector * 512 - position;
    for (; sector != bad.end() && *sector <= (position + length - 1) / 512; ++sector) ++failedReadsOf[*sector];
    return 0;
}

bool FakePlatform::getDriveLength(Handle handle, std::uint64_t* length) {
    calls.push_back("GetDriveLength");
    const auto file = openFiles.find(handle);
    if (file == openFiles.end() || file->second.drive < 0 || drivesOfUnknownLength.count(file->second.drive) != 0)
        return lastError = 1, false;
    *length = drives.at(file->second.drive).size();
    return true;
}

std::uint32_t FakePlatform::getLogicalDriveStrings(std::uint32_t length, char* buffer) {
    std::string list;
    for (const Volume& volume : volumes) list += volume.root + '\0';
    if (list.size() + 1 > length) return static_cast<std::uint32_t>(list.size() + 1);
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
}

std::uint32_t FakePlatform::getDriveType(const char* rootPath) {
    for (const Volume& volume : volumes)
        if (volume.root == rootPath) return volume.type;
    return 1;
}

bool FakePlatform::getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                                        std::uint32_t* serialNumber, char* fileSystemName,
                                        std::uint32_t fileSystemNameLength) {
    for (const Volume& volume : volumes) {
        if (volume.root != rootPath || !volume.readable) continue;
        std::snprintf(volumeName, volumeNameLength, "%s", volume.name.c_str());
        std::snprintf(fileSystemName, fileSystemNameLength, "%s", volume.fileSystem.c_str());
        *serialNumber = volume.serial;
        return true;
    }
    return false;
}
