#include "disk/DiskDevice.h"

#include <cstring>
#include <string>
#include <vector>

#include "base/Console.h"
#include "base/TextFormat.h"

DiskDevice::DiskDevice(DiskPlatform& platform) : platform(platform) {
    handle = platform.createFile("\\\\.\\vwin32", 0, 0, 0, DiskPlatform::fileFlagDeleteOnClose);
    if (handle == DiskPlatform::invalidHandle) {
        backEnd = PhysicalDrive;
        return;
    }
    chooseLibraryBackEnd();
}

void DiskDevice::chooseLibraryBackEnd() {
    Console& console = Console::instance();
    backEnd = Disk32Unavailable;
    library = platform.loadLibrary("Disk32.DLL");
    if (library == nullptr) {
        console.printMessage(1, 301, "Win9x-Fehler: Disk32.DLL nicht vorhanden!\n");
        return;
    }
    readDisk32 = reinterpret_cast<DiskPlatform::Disk32Function>(platform.getProcAddress(library, "ReadDisk32"));
    if (readDisk32 == nullptr) {
        console.printMessage(1, 302, "Win9x-Fehler: ReadDisk32-Function nicht zugreifbar!\n");
        return;
    }
    writeDisk32 = reinterpret_cast<DiskPlatform::Disk32Function>(platform.getProcAddress(library, "WriteDisk32"));
    if (writeDisk32 == nullptr) {
        console.printMessage(1, 303, "Win9x-Fehler: WriteDisk32-Function nicht zugreifbar!\n");
        return;
    }
    checkInt13Extension32 = platform.getProcAddress(library, "CheckInt13Extension32");
    if (checkInt13Extension32 == nullptr) {
        console.printMessage(1, 304, "Win9x-Fehler: DllCheckInt13Extension-Function nicht zugreifbar!\n");
        return;
    }
    backEnd = Disk32Library;
}

DiskDevice::~DiskDevice() {
    if (handle != DiskPlatform::invalidHandle) platform.closeHandle(handle);
}

bool DiskDevice::isUsable() const { return backEnd != Disk32Unavailable; }

bool DiskDevice::open(std::int32_t index) {
    switch (backEnd) {
    case PhysicalDrive: {
        const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(index);
        // Each open replaces the current drive; the drive opened before is not used again.
        if (handle != DiskPlatform::invalidHandle) platform.closeHandle(handle);
        handle = platform.createFile(path.c_str(), DiskPlatform::genericRead | DiskPlatform::genericWrite,
                                     DiskPlatform::fileShareRead | DiskPlatform::fileShareWrite,
                                     DiskPlatform::openExisting, 0);
        return handle != DiskPlatform::invalidHandle;
    }
    case Disk32Library: {
        currentSector = 0;
        driveIndex = index;
        std::uint8_t scratch[sectorSize];
        return read(scratch, sectorSize) == sectorSize;
    }
    case Disk32Unavailable:
        break;
    }
    return false;
}

bool DiskDevice::seek(std::uint64_t offset) {
    switch (backEnd) {
    case PhysicalDrive: {
        const std::uint32_t low = alignToSector(static_cast<std::uint32_t>(offset));
        std::int32_t high = static_cast<std::int32_t>(offset >> 32);
        const std::uint32_t result =
            platform.setFilePointer(handle, static_cast<std::int32_t>(low), &high, DiskPlatform::moveBegin);
        return !(result == DiskPlatform::invalidSetFilePointer && platform.getLastError() != 0);
    }
    case Disk32Library:
        currentSector = offset >> 9;
        return true;
    case Disk32Unavailable:
        break;
    }
    return false;
}

std::uint32_t DiskDevice::read(void* buffer, std::uint32_t length) {
    switch (backEnd) {
    case PhysicalDrive: {
        std::uint32_t delivered = 0;
        if (!platform.readFile(handle, buffer, length, &delivered)) return 0;
        return delivered;
    }
    case Disk32Library:
        return readLibrarySectors(static_cast<std::uint8_t*>(buffer), length);
    case Disk32Unavailable:
        break;
    }
    return 0;
}

bool DiskDevice::write(const void* buffer, std::uint32_t length) {
    switch (backEnd) {
    case PhysicalDrive: {
        std::uint32_t written = 0;
        return platform.writeFile(handle, buffer, length, &written) && written == length;
    }
    case Disk32Library:
        return writeLibrarySectors(static_cast<const std::uint8_t*>(buffer), length);
    case Disk32Unavailable:
        break;
    }
    return false;
}

DiskPlatform::DriveLock DiskDevice::lock(bool exclusive, bool wait) {
    if (!canLock() || handle == DiskPlatform::invalidHandle) return DiskPlatform::DriveLock::Unsupported;
    return platform.lockDrive(handle, exclusive, wait);
}

void DiskDevice::adviseReads(DiskPlatform::ReadPattern pattern, std::uint64_t position) {
    if (backEnd == PhysicalDrive && handle != DiskPlatform::invalidHandle) platform.adviseReads(handle, pattern, position);
}

bool DiskDevice::driveLength(std::uint64_t* length) {
    return backEnd == PhysicalDrive && platform.getDriveLength(handle, length);
}

std::uint32_t DiskDevice::callDisk32(DiskPlatform::Disk32Function function, std::uint8_t* scratch,
                                     std::uint64_t sector) const {
    // Only the low 32 bits of the sector number reach the library.
    return function(0x80u + static_cast<std::uint32_t>(driveIndex), 0, 0, 1, 1, scratch,
                    static_cast<std::uint32_t>(sector), 1);
}

std::uint32_t DiskDevice::readLibrarySectors(std::uint8_t* buffer, std::uint32_t length) {
    const std::uint32_t sectors = length / sectorSize;
    std::uint8_t scratch[sectorSize];
    for (std::uint32_t k = 0; k < sectors; ++k) {
        if (callDisk32(readDisk32, scratch, currentSector + k) == 0) return 0;
        std::memcpy(buffer + std::size_t{sectorSize} * k, scratch, sectorSize);
    }
    currentSector += sectors;
    // Only whole sectors are delivered: a request below one sector delivers nothing.
    return sectors * sectorSize;
}

bool DiskDevice::writeLibrarySectors(const std::uint8_t* buffer, std::uint32_t length) {
    const std::uint32_t sectors = length / sectorSize;
    std::uint8_t scratch[sectorSize];
    for (std::uint32_t k = 0; k < sectors; ++k) {
        std::memcpy(scratch, buffer + std::size_t{sectorSize} * k, sectorSize);
        if (callDisk32(writeDisk32, scratch, currentSector + k) == 0) return false;
    }
    currentSector += sectors;
    return true;
}

const char* DiskDevice::osFamilyName() {
    if (!osNameText) osNameText.reset(new char[6]);
    std::memcpy(osNameText.get(), backEnd == PhysicalDrive ? "WIN2K" : "WIN9x", 6);
    return osNameText.get();
}

const char* DiskDevice::volumeReport() {
    volumeReportText.clear();
    const std::vector<char> list = logicalDriveList();
    for (const char* rootPath = list.data(); *rootPath != '\0'; rootPath += std::strlen(rootPath) + 1) {
        const std::uint32_t type = platform.getDriveType(rootPath);
        if (type == DiskPlatform::driveRemovable || type == DiskPlatform::driveCdrom) continue;
        appendVolumeLine(rootPath);
    }
    return volumeReportText.c_str();
}

std::vector<char> DiskDevice::logicalDriveList() {
    // A machine with many mounts may need more than the usual 256 bytes; the platform then
    // answers the length it needs. The list can grow between two calls, hence a few tries.
    constexpr std::uint32_t maximumListLength = 1u << 24;
    std::uint32_t size = 256;
    for (int attempt = 0; attempt < 4; ++attempt) {
        // Two zero bytes beyond the length handed over end the list whatever the platform wrote.
        std::vector<char> list(std::size_t{size} + 2, '\0');
        const std::uint32_t answer = platform.getLogicalDriveStrings(size, list.data());
        if (answer < size) {
            list[answer] = '\0';
            return list;
        }
        if (answer > maximumListLength) break;
        size = answer + 1;
    }
    return std::vector<char>(2, '\0');
}

void DiskDevice::appendVolumeLine(const char* rootPath) {
    constexpr std::uint32_t nameLength = 256;
    // A volume whose information cannot be read shows an empty name and type and serial 0.
    char volumeName[nameLength] = {};
    char fileSystemName[nameLength] = {};
    std::uint32_t serialNumber = 0;
    if (!platform.getVolumeInformation(rootPath, volumeName, nameLength, &serialNumber, fileSystemName, nameLength)) {
        volumeName[0] = '\0';
        fileSystemName[0] = '\0';
        serialNumber = 0;
    }
    volumeName[nameLength - 1] = '\0';
    fileSystemName[nameLength - 1] = '\0';
    volumeReportText += TextFormat::format("%s ", rootPath);
    volumeReportText += TextFormat::format(" %s ", volumeName);
    volumeReportText += TextFormat::format(" %s", fileSystemName);
    volumeReportText += TextFormat::format(" %X\n", serialNumber);
}
