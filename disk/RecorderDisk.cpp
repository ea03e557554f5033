#include "disk/RecorderDisk.h"

#include <cstring>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/HexLines.h"
#include "disk/SectorRescue.h"

const char RecorderDisk::diskSignature[RecorderDisk::signatureSize] = "velmoran hd V1.02";

namespace {
RecorderDisk processDisk;

// The first 32 bytes of the current drive's sector 0 as two hexadecimal lines. A sector that
// cannot be read shows zeros, not what an earlier drive left in the buffer.
std::string firstBytesOfCurrentDrive(DiskDevice& device, std::uint8_t* sectorBuffer) {
    constexpr std::uint32_t shownBytes = 32;
    std::memset(sectorBuffer, 0, RecorderDisk::sectorSize);
    const bool readable =
        device.seek(0) && device.read(sectorBuffer, RecorderDisk::sectorSize) == RecorderDisk::sectorSize;
    if (!readable) std::memset(sectorBuffer, 0, RecorderDisk::sectorSize);
    std::string lines;
    HexLines::formatHexLines(&lines, sectorBuffer, shownBytes, 0);
    return lines;
}
}  // namespace

RecorderDisk::RecorderDisk(DiskPlatform* platform) : platform(platform) {}

RecorderDisk::~RecorderDisk() {
    sectorBuffer.reset();
    reportText.clear();
    device.reset();
}

RecorderDisk& RecorderDisk::instance() {
    processDisk.create();
    return processDisk;
}

DiskPlatform& RecorderDisk::platformInUse() const { return platform ? *platform : DiskPlatform::system(); }

void RecorderDisk::create() {
    if (created) return;
    device.reset(new DiskDevice(platformInUse()));
    if (device->isUsable()) {
        sectorBuffer.reset(new std::uint8_t[sectorSize]());
        found = probe();
    }
    created = true;
}

bool RecorderDisk::probe() {
    for (int drive = 0; drive < driveCount; ++drive) {
        if (!device->open(drive)) continue;
        // A sector 0 that cannot be read must not match on what an earlier drive left.
        std::memset(sectorBuffer.get(), 0, sectorSize);
        device->seek(0);
        device->read(sectorBuffer.get(), sectorSize);
        if (std::memcmp(sectorBuffer.get(), diskSignature, signatureSize) == 0) {
            foundDrive = drive;
            return true;
        }
    }
    const std::string message = TextFormat::format(
        "Keine Festplatte mit der Identifikation \"%s\" vorhanden!\n", diskSignature);
    Console::instance().printMessage(1, 1, message.c_str());
    return false;
}

bool RecorderDisk::holdDrive(bool exclusive) {
    if (!found || !device->canLock()) return true;
    Console& console = Console::instance();
    DiskPlatform::DriveLock lock = device->lock(exclusive, false);
    if (lock == DiskPlatform::DriveLock::Busy) {
        console.printMessage(1, 305, "Festplatte wird von einem anderen Aufruf benutzt, warte auf ihre Freigabe...\n");
        lock = device->lock(exclusive, true);
        if (lock != DiskPlatform::DriveLock::Taken) {
            console.printMessage(1, 307, "Warten auf die Freigabe der Festplatte fehlgeschlagen!\n");
            return false;
        }
    }
    if (lock == DiskPlatform::DriveLock::Unsupported)
        console.printMessage(1, 306, "Festplatte kann nicht gesperrt werden, sie wird ohne Sperre benutzt!\n");
    return true;
}

std::uint32_t RecorderDisk::readCluster(void* buffer, std::int32_t cluster, bool swap) {
    const std::uint64_t position = std::uint64_t{static_cast<std::uint32_t>(cluster)} * clusterSize;
    const std::uint32_t count = readAt(buffer, position, clusterSize);
    swapWords(buffer, count, swap);
    return count;
}

std::uint32_t RecorderDisk::readAt(void* buffer, std::uint64_t position, std::uint32_t length) {
    if (!found || !device->seek(position)) return 0;
    return device->read(buffer, length);
}

bool RecorderDisk::driveLength(std::uint64_t* length) { return found && device->driveLength(length); }

void RecorderDisk::expectScatteredReadsFrom(std::int32_t cluster) {
    if (found) device->adviseReads(DiskPlatform::ReadPattern::Scattered, std::uint64_t(cluster) * clusterSize);
}

void RecorderDisk::expectStreamingReads() {
    if (found) device->adviseReads(DiskPlatform::ReadPattern::Streaming, 0);
}

std::uint32_t RecorderDisk::readClusterAround(void* buffer, std::int32_t cluster,
                                              std::vector<std::uint64_t>* unreadable) {
    const std::uint32_t count = readCluster(buffer, cluster, false);
    if (count == clusterSize) return count;
    const std::uint64_t position = std::uint64_t{static_cast<std::uint32_t>(cluster)} * clusterSize;
    return readRestAround(buffer, position, clusterSize, count, unreadable);
}

std::uint32_t RecorderDisk::readRestAround(void* buffer, std::uint64_t position, std::uint32_t length,
                                           std::uint32_t delivered, std::vector<std::uint64_t>* unreadable) {
    std::uint64_t driveEnd = 0;
    if (delivered >= length || !driveLength(&driveEnd) || position > driveEnd || length > driveEnd - position)
        return delivered;
    SectorRescue(*device, unreadable).readRest(static_cast<std::uint8_t*>(buffer), position, length, delivered);
    return length;
}

bool RecorderDisk::writeCluster(void* buffer, std::int32_t cluster, bool swap) {
    if (!found) return false;
    swapWords(buffer, clusterSize, swap);
    if (!device->seek(std::uint64_t{static_cast<std::uint32_t>(cluster)} * clusterSize)) return false;
    return device->write(buffer, clusterSize);
}

bool RecorderDisk::readSector(void* buffer, std::uint64_t position, bool swap) {
    if (!found) return false;
    if (!device->seek(position)) return false;
    if (device->read(buffer, sectorSize) < sectorSize) return false;
    swapWords(buffer, sectorSize, swap);
    return true;
}

bool RecorderDisk::writeSector(void* buffer, std::uint64_t position, bool swap) {
    if (!found) return false;
    if (!device->seek(position)) return false;
    swapWords(buffer, sectorSize, swap);
    return device->write(buffer, sectorSize);
}

std::uint32_t RecorderDisk::readFromStart(void* buffer, std::uint32_t length) {
    if (!found) return 0;
    device->seek(0);
    return readNext(buffer, length);
}

std::uint32_t RecorderDisk::readNext(void* buffer, std::uint32_t length) {
    if (!found) return 0;
    return device->read(buffer, length);
}

bool RecorderDisk::rewind() {
    if (!found) return false;
    device->seek(0);
    return true;
}

bool RecorderDisk::writeNext(const void* buffer, std::uint32_t length) {
    if (!found) return false;
    return device->write(buffer, length);
}

void RecorderDisk::swapWords(void* buffer, std::uint32_t length, bool swap) {
    if (!swap) return;
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    // A count of whole words known before the loop lets the compiler swap many words at once.
    const std::size_t words = length / 4;
    for (std::size_t k = 0; k < words; ++k) {
        std::uint8_t* group = bytes + 4 * k;
        const std::uint8_t b0 = group[0];
        const std::uint8_t b1 = group[1];
        group[0] = group[3];
        group[1] = group[2];
        group[2] = b1;
        group[3] = b0;
    }
}

// A rip swaps every payload of a recording on its way out. Where the processor has 256-bit
// vectors the loop runs on them, at twice the speed; the loader picks the variant once. (Clang
// 14 leaves such a member function unresolved at link time.)
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
__attribute__((target_clones("default", "avx2")))
#endif
void RecorderDisk::copySwappedWords(void* target, const void* source, std::uint32_t length) {
    auto* __restrict to = static_cast<std::uint8_t*>(target);
    const auto* __restrict from = static_cast<const std::uint8_t*>(source);
    const std::size_t words = length / 4;
    for (std::size_t k = 0; k < words; ++k) {
        to[4 * k] = from[4 * k + 3];
        to[4 * k + 1] = from[4 * k + 2];
        to[4 * k + 2] = from[4 * k + 1];
        to[4 * k + 3] = from[4 * k];
    }
}

std::uint32_t RecorderDisk::swap32(std::uint32_t value) {
    return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

const char* RecorderDisk::driveReport() {
    create();
    if (!sectorBuffer) sectorBuffer.reset(new std::uint8_t[sectorSize]());
    reportText = "Diagnose der vorhanden Festplatten\n";
    std::string missing;
    for (int drive = 0; drive < driveCount; ++drive) {
        if (!device->open(drive)) {
            missing += TextFormat::format(" %d", drive);
            continue;
        }
        reportText += TextFormat::format("\nDivice %d\n", drive);
        reportText += firstBytesOfCurrentDrive(*device, sectorBuffer.get());
    }
    reportText += "\nDivice" + missing + " nicht vorhanden!\n";
    reportText += "\n";
    reportText += device->volumeReport();
    reportText += "\n";
    reportText += device->osFamilyName();
    // The report opened every drive in turn. Transfers must go on reaching the recorder's
    // disk, or none at all when it cannot be opened again.
    if (found) found = device->open(foundDrive);
    return reportText.c_str();
}

bool RecorderDisk::dumpSector(std::FILE* stream, std::uint64_t position, bool swap) {
    if (!readSector(sectorBuffer.get(), position, swap)) return false;
    // The lines show the sector that was read, which is the one containing the position.
    const std::uint64_t sectorStart = position & ~std::uint64_t{sectorSize - 1};
    HexLines::writeHexLines(stream, sectorBuffer.get(), sectorSize, sectorStart);
    return true;
}

bool RecorderDisk::dumpRange(std::uint64_t position, std::uint32_t length, bool swap) {
    // The offset is 64-bit: a length close to 4 GiB must not wrap it back to 0.
    for (std::uint64_t offset = 0; offset < length; offset += sectorSize) {
        if (!dumpSector(stdout, position + offset, swap)) {
            const std::uint64_t sectorStart = (position + offset) & ~std::uint64_t{sectorSize - 1};
            const std::string message = TextFormat::format("Sektor bei Position %s konnte nicht gelesen werden!\n",
                                                           HexLines::positionText(sectorStart).c_str());
            Console::instance().printMessage(1, 201, message.c_str());
            return false;
        }
    }
    return true;
}
