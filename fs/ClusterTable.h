#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/TransferBuffer.h"

class RecorderDisk;

// The cluster allocation table of the recorder's disk, held in memory as the image of
// clusters 0 to 4. Its first sector is the signature sector; the 32-bit entry of cluster c
// follows at byte 512 + 4 * c, least significant byte first and never word-swapped.
// An entry is FreeCluster, EndOfChain or the number of the next cluster of the chain.
//
// Cluster numbers that lie outside the table are answered as EndOfChain and never touch
// memory outside the image, so a damaged directory entry or chain cannot corrupt the table.
class ClusterTable {
public:
    static constexpr std::int32_t FreeCluster = 0;
    static constexpr std::int32_t EndOfChain = -1;

    static constexpr std::int32_t tableClusterCount = 5;
    static constexpr std::int32_t directoryCluster = 5;
    static constexpr std::int32_t firstDataCluster = 6;
    static constexpr std::int32_t headerEntryCount = 128;  // the signature sector, in words
    static constexpr std::int32_t maxClusterCount = 0x13FF80;
    static constexpr std::int32_t lastEntryIndex = 0x13FFFF;

    // The process-wide table, on the process-wide recorder disk.
    ClusterTable();
    // A table on the given disk; call load() before use.
    explicit ClusterTable(RecorderDisk& disk);
    virtual ~ClusterTable();

    ClusterTable(const ClusterTable&) = delete;
    ClusterTable& operator=(const ClusterTable&) = delete;

    // The process-wide table, loaded from the disk on the first call.
    static ClusterTable& instance();

    // Reads clusters 0 to 4 and finds the last cluster of the disk; once.
    void load();
    bool isLoaded() const { return loaded; }
    // Whether all five table clusters were read in full. A table that was not is never
    // written back: writeBack, freeChain's write-back and buildForFormat fail without writing.
    bool isReadWhole() const { return readWhole; }
    // Whether the entry of `cluster` was read from the disk. One that was not stands as
    // EndOfChain, so a chain that seems to end there may go on on the disk.
    bool isEntryRead(std::int32_t cluster) const;

    std::int32_t entryOf(std::int32_t cluster) const;
    // The lowest free data cluster, marked EndOfChain; -1 when none is free.
    std::int32_t allocate();
    // Like allocate, and the result (also -1) becomes the entry of `previous`.
    std::int32_t allocateAfter(std::int32_t previous);
    // Clusters that allocate never hands out although their entries read free: a damaged
    // chain still runs through them.
    void avoid(std::vector<std::int32_t> clusters);
    // Single entries, in memory, for the repair of a damaged table.
    void freeCluster(std::int32_t cluster) { setEntry(cluster, FreeCluster); }
    void endChainAt(std::int32_t cluster) { setEntry(cluster, EndOfChain); }
    // Frees the valid part of the chain from `first` on (ChainWalker) and writes the table
    // back; the write-back's success. Clusters flagged in `keep` (one flag per table cluster)
    // stay as they are: on a damaged disk they belong to other chains too.
    bool freeChain(std::int32_t first, const std::vector<bool>* keep = nullptr);
    // Frees the valid part of the chain from `first` on in memory only: for clusters that were
    // allocated for a chain that will not be written back.
    void giveBack(std::int32_t first, const std::vector<bool>* keep = nullptr);
    // Whole percent of the data clusters that are free; 0 on a disk without data clusters.
    std::uint32_t percentFree() const;

    std::int32_t lastCluster() const { return lastDiskCluster; }
    std::int32_t dataClusterCount() const { return lastDiskCluster - (firstDataCluster - 1); }

    // Writes each table cluster in which an entry changed since the load or the last
    // write-back (the others hold the same bytes on the disk); true when all of them were written.
    bool writeBack();
    // Marks every data cluster that reads in full as free and all after the first one that
    // does not as EndOfChain, with a progress meter, then writes all five table clusters.
    bool buildForFormat();

    static bool isTableCluster(std::int32_t cluster) { return cluster >= 0 && cluster < maxClusterCount; }

private:
    static constexpr std::size_t partSize = 1048576;

    RecorderDisk& diskInUse() const;
    // The table cluster that holds a cluster's entry, and the entry's offset in it.
    static std::size_t partOf(std::int32_t cluster);
    static std::size_t offsetInPart(std::int32_t cluster);
    // A table cluster whose entries are all EndOfChain (on all but the largest disks the
    // clusters 1 to 4 lie wholly beyond the disk's end) is kept as no memory at all until an
    // entry in it changes.
    std::uint8_t* materialise(std::size_t part);
    static TransferBuffer::Pointer newEndOfChainPart();
    std::uint8_t* allEndOfChain();
    static bool isAllEndOfChain(const std::uint8_t* bytes, std::size_t length);
    void setEntry(std::int32_t cluster, std::int32_t value);
    void findLastCluster();

    RecorderDisk* disk;  // none: the process-wide recorder disk
    bool loaded = false;
    bool readWhole = false;
    std::uint32_t bytesRead[tableClusterCount] = {};  // of each table cluster, at load
    bool changed[tableClusterCount] = {};             // since the load or the last write-back
    TransferBuffer::Pointer parts[tableClusterCount];  // none: all EndOfChain
    TransferBuffer::Pointer endOfChainPart;             // what writeBack writes for those
    std::int32_t lastDiskCluster = firstDataCluster - 1;
    // No cluster below this one can be handed out: allocate starts its first-fit scan here.
    std::int32_t searchStart = firstDataCluster;
    std::vector<std::int32_t> avoided;  // sorted
};
