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
    RecorderDisk& recorderDisk = diskInUse();
    readWhole = true;
    TransferBuffer::Pointer part;
    for (std::int32_t k = 0; k < tableClusterCount; ++k) {
        if (!part) part = TransferBuffer::allocate(partSize);
        const std::uint32_t count = recorderDisk.readCluster(part.get(), k, false);
        bytesRead[k] = count;
        if (count != RecorderDisk::clusterSize) {
            readWhole = false;
            std::fill(part.get() + count, part.get() + partSize, std::uint8_t{0xFF});
        }
        if (!isAllEndOfChain(part.get(), partSize)) parts[k] = std::move(part);
    }
    // A buffer left over holds a table cluster of EndOfChain entries only.
    endOfChainPart = std::move(part);
    loaded = true;
    findLastCluster();
    searchStart = firstDataCluster;
}

bool ClusterTable::isAllEndOfChain(const std::uint8_t* bytes, std::size_t length) {
    // Every byte is 0xFF when the first is and each equals the one behind it: one comparison
    // of the range with itself, shifted by a byte.
    return length == 0 || (bytes[0] == 0xFF && std::memcmp(bytes, bytes + 1, length - 1) == 0);
}

TransferBuffer::Pointer ClusterTable::newEndOfChainPart() {
    TransferBuffer::Pointer part = TransferBuffer::allocate(partSize);
    std::fill(part.get(), part.get() + partSize, std::uint8_t{0xFF});
    return part;
}

std::uint8_t* ClusterTable::materialise(std::size_t part) {
    if (!parts[part]) parts[part] = newEndOfChainPart();
    return parts[part].get();
}

std::uint8_t* ClusterTable::allEndOfChain() {
    if (!endOfChainPart) endOfChainPart = newEndOfChainPart();
    return endOfChainPart.get();
}

std::size_t ClusterTable::partOf(std::int32_t cluster) {
    return 4 * (std::size_t(cluster) + headerEntryCount) / partSize;
}

std::size_t ClusterTable::offsetInPart(std::int32_t cluster) {
    return 4 * (std::size_t(cluster) + headerEntryCount) % partSize;
}

// The disk ends after the highest data cluster whose entry is not EndOfChain. On all but the
// largest disks most of the table lies beyond the end, all EndOfChain: the scan passes over
// such table clusters whole and over blocks of entries, from large blocks down to single
// entries: where a block holds something else, or does not fit into its table cluster, the
// scan goes on with the next smaller size and stays with it.
void ClusterTable::findLastCluster() {
    constexpr std::int32_t blockSizes[] = {65536, 1024, 32, 1};
    std::size_t size = 0;
    std::int32_t cluster = maxClusterCount - 1;
    while (cluster >= firstDataCluster) {
        const std::size_t part = partOf(cluster);
        if (!parts[part]) {
            cluster -= static_cast<std::int32_t>(offsetInPart(cluster) / 4) + 1;
            continue;
        }
        const std::int32_t blockStart = cluster + 1 - blockSizes[size];
        if (blockStart >= 0 && partOf(blockStart) == part &&
            isAllEndOfChain(parts[part].get() + offsetInPart(blockStart), 4 * std::size_t(blockSizes[size])))
            cluster = blockStart - 1;
        else if (blockSizes[size] > 1)
            ++size;
        else
            break;
    }
    lastDiskCluster = std::max(cluster, firstDataCluster - 1);
}

std::int32_t ClusterTable::entryOf(std::int32_t cluster) const {
    if (!loaded || !isTableCluster(cluster)) return EndOfChain;
    const TransferBuffer::Pointer& part = parts[partOf(cluster)];
    if (!part) return EndOfChain;
    return static_cast<std::int32_t>(LittleEndian::load32(part.get() + offsetInPart(cluster)));
}

bool ClusterTable::isEntryRead(std::int32_t cluster) const {
    if (!loaded || !isTableCluster(cluster)) return false;
    return offsetInPart(cluster) + 4 <= bytesRead[partOf(cluster)];
}

void ClusterTable::setEntry(std::int32_t cluster, std::int32_t value) {
    if (!loaded || !isTableCluster(cluster) || entryOf(cluster) == value) return;
    const std::size_t part = partOf(cluster);
    LittleEndian::store32(materialise(part) + offsetInPart(cluster), static_cast<std::uint32_t>(value));
    changed[part] = true;
    if (value == FreeCluster && cluster >= firstDataCluster) searchStart = std::min(searchStart, cluster);
}

std::int32_t ClusterTable::allocate() {
    for (std::int32_t cluster = searchStart; cluster <= lastDiskCluster; ++cluster) {
        if (entryOf(cluster) != FreeCluster || std::binary_search(avoided.begin(), avoided.end(), cluster)) continue;
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

void ClusterTable::avoid(std::vector<std::int32_t> clusters) {
    std::sort(clusters.begin(), clusters.end());
    avoided = std::move(clusters);
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
    if (!loaded || !readWhole) return false;
    RecorderDisk& recorderDisk = diskInUse();
    bool ok = true;
    for (std::int32_t k = 0; k < tableClusterCount; ++k) {
        // A table cluster without a changed entry holds on the disk what it held at the load.
        if (!changed[k]) continue;
        std::uint8_t* part = parts[k] ? parts[k].get() : allEndOfChain();
        const bool written = recorderDisk.writeCluster(part, k, false);
        if (written) changed[k] = false;
        ok = written && ok;
    }
    return ok;
}

bool ClusterTable::buildForFormat() {
    if (!loaded || !readWhole) return false;
    // The wipe before a format has zeroed the table on the disk: every cluster of it is written.
    std::fill(std::begin(changed), std::end(changed), true);
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
