#pragma once

#include <cstdint>
#include <memory>

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

private:
    void findByNumber(Directory& directory);
    void findFirstFree(Directory& directory);

    Directory* recordingDirectory;
    DirEntry* recordingEntry = nullptr;  // owned by the directory
    std::int32_t slotNumber = -1;
    // Sequential reading of the recording's clusters for ripping: the cluster in the buffer,
    // how many of its bytes are there, and the read position within them.
    std::unique_ptr<std::uint8_t[]> clusterBuffer;
    std::int32_t currentCluster = -1;
    std::int32_t clusterFill = 0;
    std::int32_t readPosition = 0;
};
