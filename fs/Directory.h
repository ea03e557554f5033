#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fs/DirEntry.h"

class ClusterTable;
class RecorderDisk;

// The recorder's table of contents: 4096 slots of 256 bytes in cluster 5, all read into
// memory on first use (one read of the whole cluster) and looked up there afterwards.
// Slot numbers are the recording numbers that the commands take.
class Directory {
public:
    static constexpr std::int32_t entryCount = 4096;

    // The process-wide directory, on the process-wide recorder disk and cluster table.
    Directory();
    // A directory on the given disk; `table` is used by list. Call load() before use.
    Directory(RecorderDisk& disk, ClusterTable& table);
    virtual ~Directory();

    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // The process-wide directory, loaded on the first call.
    static Directory& instance();

    void load();
    bool isLoaded() const { return loaded; }

    // The entry of a valid slot; none for a free slot or a number outside 0 to 4095.
    DirEntry* entryAt(std::int32_t slot) const {
        if (slot < 0 || slot >= static_cast<std::int32_t>(entries.size())) return nullptr;
        DirEntry* entry = entryPointer(static_cast<std::size_t>(slot));
        return entry->isValid() ? entry : nullptr;
    }
    // Whether the sector of a slot in 0 to 4095 could be read.
    bool isSlotRead(std::int32_t slot) const;
    // Valid entries in ascending slot order; one iteration at a time.
    DirEntry* firstUsed();
    DirEntry* nextUsed();
    // The lowest slot that was read and holds no recording; none when there is no such slot.
    DirEntry* firstFree() const;

    // Prints a line per recording and the free share of the disk; false when the recorder
    // disk was not found.
    bool list();

    // One flag per table cluster: the clusters that the chains of all recordings but `except`
    // pass through (their valid parts).
    std::vector<bool> clustersOfOtherRecordings(const DirEntry& except);

    // The disk the directory lies on (its drives probed on the first call) and the table of
    // that disk (loaded on the first call).
    RecorderDisk& recorderDisk() const;
    ClusterTable& clusterTable() const;

private:
    void loadSectorBySector(RecorderDisk& onDisk);
    // Entries are handed out for change by a const directory too, as the disk's slots are.
    DirEntry* entryPointer(std::size_t index) const { return const_cast<DirEntry*>(&entries[index]); }

    RecorderDisk* disk;   // none: the process-wide recorder disk
    ClusterTable* table;  // none: the process-wide cluster table
    bool loaded = false;
    // All 4096 in one block, reserved before the first is made: they never move.
    std::vector<DirEntry> entries;
    std::int32_t cursor = -1;
};
