#include "fs/ClusterTable.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/Console.h"
#include "base/LittleEndian.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"

namespace {
ClusterTable processTable;
}

ClusterTable::ClusterTable() : disk(nullptr) {}

ClusterTable::ClusterTable(RecorderDisk& disk) : disk(&disk) {}

ClusterTable::~ClusterTable() = default;

ClusterTable& ClusterTable::instance() {
    processTable.load();
    return processTable;
}

RecorderDisk& ClusterTable::diskInUse() const { return disk ? *disk : RecorderDisk::instance(); }

void ClusterTable::load() {
    if (loaded) return;
    // Whatever cannot be read counts as EndOfChain: never as free, so that a damaged table
    // cannot hand out clusters that hold recordings or lie beyond the end of the disk.
    image = TransferBuffer::allocate(imageSize);
    std::fill(image.get(), image.get() + imageSize, std::uint8_t{0xFF});
    RecorderDisk& recorderDisk = diskInUse();
    readWhole = true;
    for (std::int32_t k = 0; k < tableClusterCount; ++k) {
        std::uint8_t* part = image.get() + std::size_t(k) * RecorderDisk::clusterSize;
        const std::uint32_t count = recorderDisk.readCluster(part, k, false);
        bytesRead[k] = count;
        if (count == RecorderDisk::clusterSize) continue;
        readWhole = false;
        // A short read delivered a part; the rest keeps its stand-in value.
        std::fill(part + count, part + RecorderDisk::clusterSize, std::uint8_t{0xFF});
    }
    findLastCluster();
    searchStart = firstDataCluster;
    loaded = true;
}

// The disk ends after the highest data cluster whose entry is not EndOfChain. On all but the
// largest disks most of the table lies beyond the end, all EndOfChain (0xFF bytes): the scan
// passes over such entries a block at a time and looks at single entries in the last block only.
void ClusterTable::findLastCluster() {
    constexpr std::int32_t blockEntries = 1024;
    static const std::vector<std::uint8_t> endOfChainBlock(4 * blockEntries, 0xFF);
    std::int32_t cluster = maxClusterCount - 1;
    while (cluster + 1 - blockEntries >= 0 &&
           std::memcmp(entryBytes(cluster + 1 - blockEntries), endOfChainBlock.data(), endOfChainBlock.size()) == 0)
        cluster -= blockEntries;
    while (cluster >= firstDataCluster && entryOf(cluster) == EndOfChain) --cluster;
    lastDiskCluster = std::max(cluster, firstDataCluster - 1);
}

std::uint8_t* ClusterTable::entryBytes(std::int32_t cluster) const {
    return image.get() + 4 * (std::size_t(cluster) + headerEntryCount);
}

std::int32_t ClusterTable::entryOf(std::int32_t cluster) const {
    if (!image || !isTableCluster(cluster)) return EndOfChain;
    return static_cast<std::int32_t>(LittleEndian::load32(entryBytes(cluster)));
}

bool ClusterTable::isEntryRead(std::int32_t cluster) const {
    if (!image || !isTableCluster(cluster)) return false;
    const std::size_t offset = 4 * (std::size_t(cluster) + headerEntryCount);
    return offset % RecorderDisk::clusterSize + 4 <= bytesRead[offset / RecorderDisk::clusterSize];
}

void ClusterTable::setEntry(std::int32_t cluster, std::int32_t value) {
    if (!image || !isTableCluster(cluster)) return;
    LittleEndian::store32(entryBytes(cluster), static_cast<std::uint32_t>(value));
    if (value == FreeCluster && cluster >= firstDataCluster) searchStart = std::min(searchStart, cluster);
}

std::int32_t ClusterTable::allocate() {
    for (std::int32_t cluster = searchStart; cluster <= lastDiskCluster; ++cluster) {
        if (entryOf(cluster) != FreeCluster) continue;
        setEntry(cluster, EndOfChain);
        searchStart = cluster + 1;
        return cluster;
    }
    searchStart = lastDiskCluster + 1;
    return -1;
}

std::int32_t ClusterTable::allocateAfter(std::int32_t previous) {
    // A cluster handed out behind a cluster outside the table could never be found again.
    if (!isTableCluster(previous)) return -1;
    const std::int32_t cluster = allocate();
    setEntry(previous, cluster);
    return cluster;
}

bool ClusterTable::freeChain(std::int32_t first, const std::vector<bool>* keep) {
    giveBack(first, keep);
    return writeBack();
}

void ClusterTable::giveBack(std::int32_t first, const std::vector<bool>* keep) {
    // Only the valid part of a damaged chain is freed; each cluster is freed after the walk
    // has looked up its successor.
    for (ChainWalker walk(*this, first); !walk.ended();) {
        const std::int32_t cluster = walk.current();
        walk.advance();
        if (!keep || !(*keep)[static_cast<std::size_t>(cluster)]) setEntry(cluster, FreeCluster);
    }
}

std::uint32_t ClusterTable::percentFree() const {
    std::uint32_t freeCount = 0;
    std::uint32_t usedCount = 0;
    for (std::int32_t cluster = firstDataCluster; cluster <= lastDiskCluster; ++cluster) {
        if (entryOf(cluster) == FreeCluster)
            ++freeCount;
        else
            ++usedCount;
    }
    if (freeCount + usedCount == 0) return 0;
    return (100 * freeCount) / (freeCount + usedCount);
}

bool ClusterTable::writeBack() {
    // The stand-ins of an unread part would replace the disk's own entries (and the
    // signature sector, when cluster 0 is the unread one).
    if (!image || !readWhole) return false;
    RecorderDisk& recorderDisk = diskInUse();
    bool ok = true;
    for (std::int32_t k = 0; k < tableClusterCount; ++k)
        ok = recorderDisk.writeCluster(image.get() + std::size_t(k) * RecorderDisk::clusterSize, k, false) && ok;
    return ok;
}

bool ClusterTable::buildForFormat() {
    if (!image || !readWhole) return false;
    for (std::int32_t cluster = 0; cluster <= firstDataCluster; ++cluster) setEntry(cluster, EndOfChain);
    RecorderDisk& recorderDisk = diskInUse();
    Console& console = Console::instance();
    TransferBuffer::Pointer scratch = TransferBuffer::allocate(RecorderDisk::clusterSize);
    console.startProgress(static_cast<std::uint64_t>(std::max(dataClusterCount(), 0)));
    std::int32_t cluster = firstDataCluster;
    for (; cluster < maxClusterCount; ++cluster) {
        if (recorderDisk.readCluster(scratch.get(), cluster, false) != RecorderDisk::clusterSize) break;
        console.stepProgress();
        setEntry(cluster, FreeCluster);
    }
    console.finishProgress();
    for (; cluster < maxClusterCount; ++cluster) setEntry(cluster, EndOfChain);
    scratch.reset();
    return writeBack();
}
