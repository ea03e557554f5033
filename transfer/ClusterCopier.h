#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/TransferBuffer.h"
#include "disk/RescueMap.h"

class HostFileWriter;
class RecorderDisk;

// Copies whole clusters of the recorder's disk, one after the other, into a backup file whose
// header and entry have been written: the clusters go to the file from byte 284 on, each with
// its full 1 MiB, without word swapping. Sectors that cannot be read within the drive's known
// length become zeros in the file and are noted, so that the file is complete and its map can
// say where it is not true to the disk.
class ClusterCopier {
public:
    ClusterCopier(RecorderDisk& disk, HostFileWriter& writer);
    virtual ~ClusterCopier();

    ClusterCopier(const ClusterCopier&) = delete;
    ClusterCopier& operator=(const ClusterCopier&) = delete;

    // Appends the cluster. False after message 401 when it cannot be read whole nor around its
    // unreadable sectors (the file then ends with what was read of it), or after the writer's
    // message; the copy is over then.
    bool copy(std::int32_t cluster);
    // Appends a cluster of zeros, standing in for a cluster whose content is unknown.
    bool copyZeros();
    // Writes out what the copy still holds back; false after the writer's message.
    bool finish();

    bool hasUnreadable() const { return !damagedClusters.empty(); }
    // Message 414 naming the clusters with unreadable sectors, and the map of the file beside
    // it (a ddrescue map file, "<file>.map"); false, for the command's result.
    bool reportUnreadable() const;

private:
    // Reads the cluster to 284 bytes into the buffer, keeping the held-back bytes in front of
    // it, around its unreadable sectors (their disk positions go to `positions`); the bytes read.
    std::uint32_t readBehind(std::int32_t cluster, std::vector<std::uint64_t>* positions);
    // Sends the cluster now in the buffer behind the held-back bytes, or the `count` bytes of it
    // that were read; keeps its last 284 bytes back for the next write.
    bool send(std::uint32_t count);

    RecorderDisk& disk;
    HostFileWriter& writer;
    TransferBuffer::Pointer buffer;  // 284 bytes and a cluster
    std::uint32_t carried = 0;       // bytes held back at the buffer's start
    std::uint64_t filePosition;      // of the next cluster in the file
    // The drive refused a read to 284 bytes into the buffer: clusters go to its aligned start.
    bool alignedReadsOnly = false;
    RescueMap inFile;
    std::vector<std::int64_t> damagedClusters;
    std::vector<std::uint64_t> positions;
};
