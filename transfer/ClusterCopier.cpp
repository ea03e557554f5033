#include "transfer/ClusterCopier.h"

#include <cstring>

#include "base/Console.h"
#include "base/HostFileWriter.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "transfer/BackupFile.h"

namespace {
constexpr auto lag = static_cast<std::uint32_t>(BackupFile::dataOffset);
}  // namespace

// The clusters follow the header and the entry, 284 bytes into the file. A write that begins
// inside a page of the file, or from memory off a page, costs the system far more than one that
// begins at a page from a page; a read to 284 bytes into a page costs nothing measurable. So each
// cluster is read 284 bytes into the page-aligned buffer, and every write but the first begins at
// the buffer's start and ends at a whole MiB of the file: a cluster's last 284 bytes move to the
// buffer's start and go out in front of the next cluster.
ClusterCopier::ClusterCopier(RecorderDisk& disk, HostFileWriter& writer)
    : disk(disk),
      writer(writer),
      buffer(TransferBuffer::allocate(BackupFile::dataOffset + RecorderDisk::clusterSize)),
      filePosition(BackupFile::dataOffset) {}

ClusterCopier::~ClusterCopier() = default;

bool ClusterCopier::copy(std::int32_t cluster) {
    positions.clear();
    const std::uint32_t count = readBehind(cluster, &positions);
    if (!positions.empty()) damagedClusters.push_back(cluster);
    for (const std::uint64_t position : positions) inFile.addUnreadable(filePosition + position % RecorderDisk::clusterSize);
    if (!send(count)) return false;
    if (count == RecorderDisk::clusterSize) return true;
    Console::instance().printMessage(
        2, 401,
        TextFormat::format("Cluster %d konnte nicht vollstaendig gelesen werden, die Sicherungsdatei %s ist "
                           "unvollstaendig!\n",
                           cluster, writer.path().c_str())
            .c_str());
    return false;
}

bool ClusterCopier::copyZeros() {
    std::memset(buffer.get() + lag, 0, RecorderDisk::clusterSize);
    return send(RecorderDisk::clusterSize);
}

bool ClusterCopier::send(std::uint32_t count) {
    std::uint8_t* const clusterBytes = buffer.get() + lag;
    const bool whole = count == RecorderDisk::clusterSize;
    const std::uint32_t sent = carried + (whole ? count - lag : count);
    if (sent > 0 && !writer.write(clusterBytes - carried, sent)) return false;
    if (!whole) return true;
    std::memcpy(buffer.get(), clusterBytes + RecorderDisk::clusterSize - lag, lag);
    carried = lag;
    filePosition += RecorderDisk::clusterSize;
    return true;
}

bool ClusterCopier::finish() {
    if (carried > 0 && !writer.write(buffer.get(), carried)) return false;
    carried = 0;
    return true;
}

bool ClusterCopier::reportUnreadable() const {
    const HostFileName map = writer.name().withSuffix(".map");
    Console::instance().printMessage(
        2, 414,
        TextFormat::format("Unlesbare Sektoren in Cluster %s, in der Sicherungsdatei %s durch Nullen ersetzt, ihre "
                           "Liste steht in %s!\n",
                           TextFormat::numberList(damagedClusters).c_str(), writer.name().name().c_str(),
                           map.name().c_str())
            .c_str());
    inFile.writeTo(map, filePosition);
    return false;
}

// The cluster goes 284 bytes into the buffer, behind the held-back bytes at its start, on a
// 4-byte boundary. A drive that takes only buffers on a wider boundary refuses the read and
// delivers nothing: it is made once more into the buffer's page-aligned start and the cluster
// moved into place, and so are the reads of the clusters after it.
std::uint32_t ClusterCopier::readBehind(std::int32_t cluster, std::vector<std::uint64_t>* unreadable) {
    std::uint8_t* const start = buffer.get();
    const std::uint64_t position = std::uint64_t{static_cast<std::uint32_t>(cluster)} * RecorderDisk::clusterSize;
    const std::uint32_t count = alignedReadsOnly ? 0 : disk.readCluster(start + lag, cluster, false);
    // Part of the cluster came: the drive takes this buffer, and the rest follows in place.
    if (count > 0) return disk.readRestAround(start + lag, position, RecorderDisk::clusterSize, count, unreadable);
    std::uint8_t kept[lag];
    std::memcpy(kept, start + lag - carried, carried);
    // Nothing came, for the buffer or for a bad sector: the read around bad sectors goes on at
    // the aligned start without asking for them a fourth time.
    const std::size_t known = unreadable->size();
    std::uint32_t again = alignedReadsOnly ? disk.readClusterAround(start, cluster, unreadable)
                                           : disk.readRestAround(start, position, RecorderDisk::clusterSize, 0,
                                                                 unreadable);
    // Where the drive's length is unknown nothing was read around: the aligned read is still to come.
    if (again == 0 && !alignedReadsOnly) again = disk.readCluster(start, cluster, false);
    if (again == RecorderDisk::clusterSize && unreadable->size() == known) alignedReadsOnly = true;
    std::memmove(start + lag, start, again);
    std::memcpy(start + lag - carried, kept, carried);
    return again;
}
