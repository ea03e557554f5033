#pragma once

#include <cstdint>
#include <vector>

class DiskDevice;

// Reads what a failing drive still gives of a span that a first read did not deliver whole:
// the rest in pieces of 32 KiB, a piece that fails or stops short sector by sector, and a
// sector that cannot be read as 512 zero bytes, its byte position noted. A failing drive may
// spend seconds on each failed read, so no sector is asked for more than three times in all:
// in the first read, in its piece, alone.
class SectorRescue {
public:
    static constexpr std::uint32_t pieceSize = 32768;

    // Positions of unreadable sectors are appended to `unreadable`, in ascending order.
    SectorRescue(DiskDevice& device, std::vector<std::uint64_t>* unreadable);

    // The span of `length` bytes from `position`, of which the buffer holds the first
    // `delivered` (whole sectors): the rest is read into the buffer. The device stands behind
    // the span afterwards.
    void readRest(std::uint8_t* span, std::uint64_t position, std::uint32_t length, std::uint32_t delivered);

private:
    // One read of the span's bytes from `from` to `to`; the bytes delivered.
    std::uint32_t readOnce(std::uint8_t* span, std::uint64_t position, std::uint32_t from, std::uint32_t to);
    void readSectors(std::uint8_t* span, std::uint64_t position, std::uint32_t from, std::uint32_t to);

    DiskDevice& device;
    std::vector<std::uint64_t>* unreadable;
    bool positioned = false;  // the device stands where the next read of the span begins
};
