#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "base/TransferBuffer.h"

class ChainWalker;
class DirEntry;
class Directory;

// A command's handle on one recording in the directory: either the recording of a slot
// number, or the first free slot for a recording about to be loaded. A handle without an
// entry has already said why; every command on it fails at once.
class Recording {
public:
    struct FirstFreeSlot {};

    // The recording in slot `number` of the process-wide directory.
    explicit Recording(std::int32_t number);
    // The first free slot of the process-wide directory.
    explicit Recording(FirstFreeSlot);
    Recording(Directory& directory, std::int32_t number);
    Recording(Directory& directory, FirstFreeSlot);
    virtual ~Recording();

    Recording(const Recording&) = delete;
    Recording& operator=(const Recording&) = delete;

    DirEntry* entry() const { return recordingEntry; }
    // The directory the handle was made on, and through it the disk and its table.
    Directory& directory() const { return *recordingDirectory; }
    // The slot number asked for; -1 for a handle on the first free slot.
    std::int32_t number() const { return slotNumber; }

    // Sequential reading of the recording's cluster chain, each cluster in full, the last one
    // too. startReading reads the first cluster: false without a message for a handle without
    // an entry or an empty chain, false after message 104 for a first cluster that is no valid
    // one, false after message 102 when the cluster cannot be read whole. The chain is
    // followed only as far as it is valid.
    bool startReading();
    // The next `count` bytes (at most one cluster), crossing at most one cluster boundary:
    // `count`, or 0 once the stream has ended. A request that runs past the end of the chain
    // yields 0, not the bytes left before it. The stream also ends, as a failure (readFailed),
    // at a cluster that cannot be read whole nor around its unreadable sectors (message 102),
    // at a chain end that stands for a table entry that could not be read (message 103), and
    // where the chain breaks off: a loop, or a link to a free, reserved or outside cluster
    // (message 104).
    std::uint32_t readBytes(void* buffer, std::uint32_t count);
    // The same `count` bytes without a copy where it can: where they lie within the current
    // cluster, a pointer into the cluster buffer (valid until the next read), else `spare`
    // filled by readBytes; nullptr where readBytes would give 0.
    const std::uint8_t* viewBytes(std::uint8_t* spare, std::uint32_t count);
    // Whether the stream ended at a read failure rather than at its end.
    bool readFailed() const { return clusterReadFailed; }
    // The clusters in which sectors could not be read, in stream order. Within the drive's
    // known length a cluster is read around them, and the stream holds zeros in their place.
    const std::vector<std::int64_t>& clustersWithUnreadableSectors() const { return damagedClusters; }
    // Whether zeros stand for unreadable sectors within the `length` bytes at stream position
    // `position`, for bytes of the current cluster or the one before it.
    bool zeroedWithin(std::uint64_t position, std::uint32_t length) const;

private:
    void findByNumber(Directory& directory);
    void findFirstFree(Directory& directory);

    Directory* recordingDirectory;
    DirEntry* recordingEntry = nullptr;  // owned by the directory
    std::int32_t slotNumber = -1;
    // Reads the walk's current cluster into the buffer; false after message 102.
    bool loadCurrentCluster();
    // Message 103 and readFailed when the chain ended at `last` only because its table entry
    // could not be read.
    void reportUnreadChainEnd(std::int32_t last);
    // The stream ranges of the sectors that could not be read in the cluster just loaded.
    void noteZeroedRanges();
    void endStream();
    // A chain that breaks off (a loop, a free, reserved or outside cluster) is told and ends
    // the stream as a failure.
    void reportBrokenChain();

    // Sequential reading for ripping: the walk along the chain (its current cluster is the
    // one in the buffer; none once the stream has ended), how many bytes of the buffer are
    // there, and the read position within them.
    TransferBuffer::Pointer clusterBuffer;
    std::unique_ptr<ChainWalker> chain;
    std::uint32_t clusterFill = 0;
    std::uint32_t readPosition = 0;
    bool clusterReadFailed = false;
    std::vector<std::int64_t> damagedClusters;
    std::vector<std::uint64_t> unreadablePositions;
    // The stream position of the cluster in the buffer, and the stream ranges [first, second)
    // of zeros in it and in the cluster before it.
    std::uint64_t clusterStreamStart = 0;
    std::uint64_t clustersLoaded = 0;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> zeroedRanges;
};
