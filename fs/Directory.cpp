#include "fs/Directory.h"

#include <cinttypes>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "base/TransferBuffer.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"
#include "fs/ClusterTable.h"

namespace {
Directory processDirectory;
}

Directory::Directory() : disk(nullptr), table(nullptr) {}

Directory::Directory(RecorderDisk& disk, ClusterTable& table) : disk(&disk), table(&table) {}

Directory::~Directory() = default;

Directory& Directory::instance() {
    processDirectory.load();
    return processDirectory;
}

RecorderDisk& Directory::recorderDisk() const {
    if (!disk) return RecorderDisk::instance();
    disk->create();
    return *disk;
}

ClusterTable& Directory::clusterTable() const {
    if (!table) return ClusterTable::instance();
    table->load();
    return *table;
}

void Directory::load() {
    if (loaded) return;
    RecorderDisk& onDisk = recorderDisk();
    entries.clear();
    entries.reserve(entryCount);
    // The whole directory cluster in one read; only when that fails, sector by sector, so that
    // an unreadable sector costs no more than its own two slots.
    TransferBuffer::Pointer cluster = TransferBuffer::allocate(RecorderDisk::clusterSize);
    if (onDisk.readCluster(cluster.get(), ClusterTable::directoryCluster, false) == RecorderDisk::clusterSize) {
        for (std::int32_t slot = 0; slot < entryCount; ++slot) {
            std::uint8_t* slotBytes = cluster.get() + std::size_t{DirEntry::entrySize} * slot;
            // Word swapping keeps four zero bytes zero, so only the slots in use need it.
            if (!DirEntry::isFreeImage(slotBytes)) RecorderDisk::swapWords(slotBytes, DirEntry::entrySize, true);
            entries.emplace_back(onDisk, slot, slotBytes);
        }
    } else {
        loadSectorBySector(onDisk);
    }
    loaded = true;
}

void Directory::loadSectorBySector(RecorderDisk& onDisk) {
    std::uint8_t sector[RecorderDisk::sectorSize];
    for (std::int32_t slot = 0; slot < entryCount; slot += 2) {
        const bool read = onDisk.readSector(sector, DirEntry::slotPosition(slot), true);
        entries.emplace_back(onDisk, slot, read ? sector : nullptr);
        entries.emplace_back(onDisk, slot + 1, read ? sector + DirEntry::entrySize : nullptr);
    }
}

bool Directory::isSlotRead(std::int32_t slot) const {
    return slot >= 0 && slot < static_cast<std::int32_t>(entries.size()) && entries[static_cast<std::size_t>(slot)].wasRead();
}

DirEntry* Directory::firstUsed() {
    cursor = -1;
    return nextUsed();
}

DirEntry* Directory::nextUsed() {
    const auto count = static_cast<std::int32_t>(entries.size());
    while (cursor < count) {
        ++cursor;
        if (DirEntry* entry = entryAt(cursor)) return entry;
    }
    return nullptr;
}

DirEntry* Directory::firstFree() const {
    for (std::size_t index = 0; index < entries.size(); ++index)
        if (entries[index].wasRead() && !entries[index].isValid()) return entryPointer(index);
    return nullptr;
}

bool Directory::list() {
    if (!recorderDisk().isFound()) return false;
    Console& console = Console::instance();
    for (DirEntry* entry = firstUsed(); entry; entry = nextUsed()) {
        // A size is at most 2^32 + 4095 MiB; it is printed unsigned so no size shows negative.
        const std::uint64_t mebibytes = entry->sizeBytes() / RecorderDisk::clusterSize;
        console.print(TextFormat::format("%02i %-30s %4" PRIu64 " MB\n", entry->index(), entry->shownName().c_str(),
                                         mebibytes)
                          .c_str());
    }
    console.print(TextFormat::format("-- %d Prozent frei\n", static_cast<int>(clusterTable().percentFree())).c_str());
    return true;
}

std::vector<bool> Directory::clustersOfOtherRecordings(const DirEntry& except) {
    std::vector<bool> passed;
    ClusterTable& table = clusterTable();
    for (const DirEntry& entry : entries) {
        if (!entry.isValid() || &entry == &except) continue;
        for (ChainWalker walk(table, entry.firstCluster(), passed); walk.advance();) {
        }
    }
    passed.resize(static_cast<std::size_t>(ClusterTable::maxClusterCount), false);
    return passed;
}
