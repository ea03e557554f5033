#include "disk/SectorRescue.h"

#include <algorithm>
#include <cstring>

#include "disk/DiskDevice.h"

namespace {
constexpr std::uint32_t sectorSize = DiskDevice::sectorSize;
}

SectorRescue::SectorRescue(DiskDevice& device, std::vector<std::uint64_t>* unreadable)
    : device(device), unreadable(unreadable) {}

void SectorRescue::readRest(std::uint8_t* span, std::uint64_t position, std::uint32_t length,
                            std::uint32_t delivered) {
    // A read that stopped short continues where it stopped: the sector there was asked for once.
    positioned = false;
    for (std::uint32_t offset = delivered; offset < length;) {
        const std::uint32_t pieceEnd = std::min(length, (offset / pieceSize + 1) * pieceSize);
        const std::uint32_t got = readOnce(span, position, offset, pieceEnd);
        // Read again from where a piece stopped, a sector would see a fourth read: one at a time.
        if (offset + got < pieceEnd) readSectors(span, position, offset + got, pieceEnd);
        offset = pieceEnd;
    }
    device.seek(position + length);
}

std::uint32_t SectorRescue::readOnce(std::uint8_t* span, std::uint64_t position, std::uint32_t from,
                                     std::uint32_t to) {
    if (!positioned && !device.seek(position + from)) return 0;
    const std::uint32_t got = device.read(span + from, to - from);
    positioned = got == to - from;
    return got;
}

void SectorRescue::readSectors(std::uint8_t* span, std::uint64_t position, std::uint32_t from, std::uint32_t to) {
    for (std::uint32_t offset = from; offset < to; offset += sectorSize) {
        if (readOnce(span, position, offset, offset + sectorSize) == sectorSize) continue;
        std::memset(span + offset, 0, sectorSize);
        unreadable->push_back(position + offset);
    }
}
