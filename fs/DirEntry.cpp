#include "fs/DirEntry.h"

#include <algorithm>
#include <cstring>

#include "base/Console.h"
#include "base/HostFileReader.h"
#include "base/HostFileWriter.h"
#include "base/LittleEndian.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"

namespace {
// The slot's half of its 512-byte sector.
std::uint32_t halfOffset(std::int32_t slot) { return DirEntry::entrySize * std::uint32_t(slot % 2); }
}  // namespace

DirEntry::DirEntry(RecorderDisk& disk, std::int32_t slot)
    : disk(&disk), slot(slot) {
    if (slot < 0) return;
    std::uint8_t sector[RecorderDisk::sectorSize] = {};
    if (disk.readSector(sector, slotPosition(slot), true)) takeSlot(sector + halfOffset(slot));
}

DirEntry::DirEntry(RecorderDisk& disk, std::int32_t slot, const std::uint8_t* slotAsRead)
    : disk(&disk), slot(slot) {
    if (slot >= 0 && slotAsRead) takeSlot(slotAsRead);
}

void DirEntry::takeSlot(const std::uint8_t* slotAsRead) {
    sectorRead = true;
    if (isFreeImage(slotAsRead)) return;
    std::memcpy(bytes, slotAsRead, entrySize);
    // The whole sector was swapped on reading; the integer words are stored unswapped.
    swapIntegerWords(bytes);
    valid = true;
}

DirEntry::DirEntry(HostFileReader& reader) : disk(nullptr), slot(-1) {
    valid = readFrom(reader);
}

DirEntry::DirEntry(const std::string& name, std::int32_t firstCluster, std::uint32_t startOffset,
                   std::uint64_t sizeBytes)
    : disk(nullptr), slot(-1), valid(true) {
    std::memcpy(bytes, name.data(), std::min<std::size_t>(name.size(), nameFieldSize - 1));
    setFirstCluster(firstCluster);
    LittleEndian::store32(bytes + startOffsetOffset, startOffset);
    setSize(static_cast<std::uint32_t>(sizeBytes / RecorderDisk::clusterSize),
            static_cast<std::uint32_t>(sizeBytes % RecorderDisk::clusterSize));
}

DirEntry::~DirEntry() = default;

bool DirEntry::isFreeImage(const std::uint8_t* entryImage) {
    return entryImage[0] == 0 && entryImage[1] == 0 && entryImage[2] == 0 && entryImage[3] == 0;
}

void DirEntry::swapIntegerWords(std::uint8_t* entryImage) {
    RecorderDisk::swapWords(entryImage + nameFieldSize, entrySize - nameFieldSize, true);
}

std::uint32_t DirEntry::fieldAt(std::uint32_t offset) const { return LittleEndian::load32(bytes + offset); }

std::string DirEntry::name() const {
    if (!valid) return std::string();
    const char* text = reinterpret_cast<const char*>(bytes);
    // A name that fills the whole field has no terminator; it ends at the field's end.
    const void* terminator = std::memchr(text, 0, nameFieldSize);
    return std::string(text, terminator ? static_cast<const char*>(terminator) - text : nameFieldSize);
}

std::string DirEntry::shownName() const { return TextFormat::printable(name()); }

std::int32_t DirEntry::firstCluster() const { return valid ? static_cast<std::int32_t>(fieldAt(firstClusterOffset)) : -1; }

void DirEntry::setFirstCluster(std::int32_t cluster) {
    LittleEndian::store32(bytes + firstClusterOffset, static_cast<std::uint32_t>(cluster));
}

std::uint32_t DirEntry::startOffset() const { return valid ? fieldAt(startOffsetOffset) : 0; }

std::uint32_t DirEntry::sizeMiB() const { return valid ? fieldAt(sizeMiBOffset) : 0; }

std::uint32_t DirEntry::sizeRemainder() const { return valid ? fieldAt(sizeRemainderOffset) : 0; }

std::uint64_t DirEntry::sizeBytes() const {
    return std::uint64_t{sizeMiB()} * RecorderDisk::clusterSize + sizeRemainder();
}

void DirEntry::setSize(std::uint32_t mebibytes, std::uint32_t remainder) {
    LittleEndian::store32(bytes + sizeMiBOffset, mebibytes);
    LittleEndian::store32(bytes + sizeRemainderOffset, remainder);
}

bool DirEntry::clear() {
    if (!valid) return true;
    std::uint8_t kept[entrySize];
    std::memcpy(kept, bytes, entrySize);
    std::memset(bytes, 0, entrySize);
    if (writeBack()) {
        valid = false;
        return true;
    }
    // The slot on the disk still holds the recording; so does the entry.
    std::memcpy(bytes, kept, entrySize);
    return false;
}

bool DirEntry::writeBack() {
    if (!disk || slot < 0) return false;
    std::uint8_t sector[RecorderDisk::sectorSize] = {};
    // Without the sector's present content the neighbouring slot would be overwritten.
    if (!disk->readSector(sector, slotPosition(slot), true)) return false;
    std::uint8_t* half = sector + halfOffset(slot);
    std::memcpy(half, bytes, entrySize);
    // writeSector swaps the whole sector; the integer words must reach the disk unswapped.
    swapIntegerWords(half);
    return disk->writeSector(sector, slotPosition(slot), true);
}

bool DirEntry::readFrom(HostFileReader& reader) {
    if (reader.readSome(bytes, entrySize) == entrySize) {
        valid = true;
        return true;
    }
    Console::instance().print(TextFormat::format("Laengenfehler beim Lesen des Entrys %d!\n", slot).c_str());
    return false;
}

void DirEntry::forget() {
    std::memset(bytes, 0, entrySize);
    valid = false;
}

bool DirEntry::writeTo(HostFileWriter& writer) const { return writer.write(bytes, entrySize); }
