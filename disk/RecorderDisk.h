#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "disk/DiskDevice.h"

// The process-wide handle on the recorder's hard disk. On first use it creates the raw disk
// device and probes drives 0 to 15 for the signature in sector 0; the first drive that
// carries it stays open for the rest of the run. Every transfer is refused while no
// recorder disk was found. Word swapping, where asked for, reverses the four bytes of every
// 4-byte group in place (the recorder stores big-endian words).
class RecorderDisk {
public:
    static constexpr std::uint32_t sectorSize = DiskDevice::sectorSize;
    static constexpr std::uint32_t clusterSize = 1048576;
    static constexpr std::uint32_t signatureSize = 18;
    static const char diskSignature[signatureSize];  // "velmoran hd V1.02" and a zero byte
    static constexpr int driveCount = 16;

    // Not created yet; create() probes the drives through the given platform.
    explicit RecorderDisk(DiskPlatform* platform = nullptr);
    virtual ~RecorderDisk();

    RecorderDisk(const RecorderDisk&) = delete;
    RecorderDisk& operator=(const RecorderDisk&) = delete;

    // The process-wide recorder disk, created (and the drives probed) on the first call.
    static RecorderDisk& instance();

    // Sets up the device and probes the drives, once; later calls do nothing.
    void create();
    bool isFound() const { return found; }
    // Keeps the found drive for the rest of the run from other commands: shared for a command
    // that only reads it, exclusive for one that writes it, taken before the command reads the
    // table or the directory. A drive that another command holds is waited for, as long as it
    // takes, and said once; one that cannot be locked is used as before, said once; on the 9x
    // family nothing is locked. False after a message only when the wait itself failed.
    bool holdDrive(bool exclusive);

    std::uint32_t readCluster(void* buffer, std::int32_t cluster, bool swap);
    bool writeCluster(void* buffer, std::int32_t cluster, bool swap);
    // `length` bytes (whole sectors) from the sector-aligned `position`, without word swapping:
    // the bytes delivered, fewer at the drive's end or where a sector cannot be read, 0 on failure.
    std::uint32_t readAt(void* buffer, std::uint64_t position, std::uint32_t length);
    // Positions need not be aligned: the sector that contains the position is transferred.
    bool readSector(void* buffer, std::uint64_t position, bool swap);
    bool writeSector(void* buffer, std::uint64_t position, bool swap);
    std::uint32_t alignToSector(std::uint32_t value) const { return DiskDevice::alignToSector(value); }

    // The drive's length in bytes; false when the system cannot tell it.
    bool driveLength(std::uint64_t* length);
    // Tells the system that the reads to come are small and far apart, from the cluster on,
    // or that they follow each other again, so that it reads ahead only where that pays.
    void expectScatteredReadsFrom(std::int32_t cluster);
    void expectStreamingReads();
    // Reads around unreadable sectors, without word swapping, where readCluster would deliver
    // less than the cluster: see readRestAround.
    std::uint32_t readClusterAround(void* buffer, std::int32_t cluster, std::vector<std::uint64_t>* unreadable);
    // The rest of the span of `length` bytes at `position` of which a read delivered only the
    // first `delivered` bytes. When the drive's length is known and the span lies within it,
    // the rest is read around the sectors that cannot be read: they become zeros and their
    // positions are added to `unreadable`; the result is `length`, and the next sequential
    // read begins behind the span. Otherwise, as at the end of a drive or where its length is
    // unknown, nothing is read and the result is `delivered`.
    std::uint32_t readRestAround(void* buffer, std::uint64_t position, std::uint32_t length, std::uint32_t delivered,
                                 std::vector<std::uint64_t>* unreadable);

    // Sequential transfers from the start of the disk, without word swapping.
    std::uint32_t readFromStart(void* buffer, std::uint32_t length);
    std::uint32_t readNext(void* buffer, std::uint32_t length);
    bool rewind();
    bool writeNext(const void* buffer, std::uint32_t length);

    // What the PC's drives and volumes look like; the front end asks for it only when no
    // recorder disk was found. Asked for afterwards, it leaves the found drive current.
    const char* driveReport();
    // 32 hexadecimal lines of the sector that contains the position.
    bool dumpSector(std::FILE* stream, std::uint64_t position, bool swap);
    bool dumpRange(std::uint64_t position, std::uint32_t length, bool swap);

    // Reverses every whole 4-byte group within the length; bytes of a last partial group and
    // everything at or past the length stay untouched.
    static void swapWords(void* buffer, std::uint32_t length, bool swap);
    // Copies the length's whole 4-byte groups from source to target, each reversed; the
    // two must not overlap.
    static void copySwappedWords(void* target, const void* source, std::uint32_t length);
    static std::uint32_t swap32(std::uint32_t value);

private:
    bool probe();
    DiskPlatform& platformInUse() const;

    DiskPlatform* platform;
    bool created = false;
    bool found = false;
    int foundDrive = -1;
    std::unique_ptr<std::uint8_t[]> sectorBuffer;
    std::unique_ptr<DiskDevice> device;
    std::string reportText;
};
