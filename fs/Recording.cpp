#include "fs/Recording.h"

#include <algorithm>
#include <cstring>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"

Recording::Recording(std::int32_t number) : Recording(Directory::instance(), number) {}

Recording::Recording(FirstFreeSlot) : Recording(Directory::instance(), FirstFreeSlot{}) {}

Recording::Recording(Directory& directory, std::int32_t number) : recordingDirectory(&directory), slotNumber(number) {
    findByNumber(directory);
}

Recording::Recording(Directory& directory, FirstFreeSlot) : recordingDirectory(&directory) {
    findFirstFree(directory);
}

Recording::~Recording() = default;

void Recording::findByNumber(Directory& directory) {
    recordingEntry = directory.entryAt(slotNumber);
    if (!recordingEntry)
        Console::instance().printMessage(2, 5, TextFormat::format("Eintrag %d nicht gueltig!\n", slotNumber).c_str());
}

void Recording::findFirstFree(Directory& directory) {
    recordingEntry = directory.firstFree();
    if (!recordingEntry) Console::instance().printMessage(1, 6, "Inhaltsverzeichnis voll!");
}

bool Recording::startReading() {
    if (!clusterBuffer) clusterBuffer = TransferBuffer::allocate(RecorderDisk::clusterSize);
    endStream();
    clusterReadFailed = false;
    damagedClusters.clear();
    zeroedRanges.clear();
    clustersLoaded = 0;
    if (!recordingEntry) return false;
    chain.reset(new ChainWalker(recordingDirectory->clusterTable(), recordingEntry->firstCluster()));
    if (chain->ended()) {
        reportBrokenChain();
        endStream();
        return false;
    }
    return loadCurrentCluster();
}

std::uint32_t Recording::readBytes(void* buffer, std::uint32_t count) {
    if (count == 0) return 0;
    std::uint8_t* target = static_cast<std::uint8_t*>(buffer);
    const std::uint32_t available = clusterFill - readPosition;
    if (count <= available) {
        std::memcpy(target, clusterBuffer.get() + readPosition, count);
        readPosition += count;
        return count;
    }
    if (!chain || count > RecorderDisk::clusterSize) return 0;
    std::memcpy(target, clusterBuffer.get() + readPosition, available);
    const std::int32_t previous = chain->current();
    if (!chain->advance()) {
        if (chain->endedAtDamage())
            reportBrokenChain();
        else
            reportUnreadChainEnd(previous);
        endStream();
        return 0;
    }
    if (!loadCurrentCluster()) return 0;
    const std::uint32_t missing = count - available;
    std::memcpy(target + available, clusterBuffer.get(), missing);
    readPosition = missing;
    return count;
}

const std::uint8_t* Recording::viewBytes(std::uint8_t* spare, std::uint32_t count) {
    if (count > 0 && count <= clusterFill - readPosition) {
        const std::uint8_t* view = clusterBuffer.get() + readPosition;
        readPosition += count;
        return view;
    }
    return readBytes(spare, count) == count && count > 0 ? spare : nullptr;
}

bool Recording::loadCurrentCluster() {
    RecorderDisk& disk = recordingDirectory->recorderDisk();
    unreadablePositions.clear();
    const std::uint32_t count = disk.readClusterAround(clusterBuffer.get(), chain->current(), &unreadablePositions);
    if (!unreadablePositions.empty()) damagedClusters.push_back(chain->current());
    noteZeroedRanges();
    if (count != RecorderDisk::clusterSize) {
        Console::instance().printMessage(0, 102, "Cluster konnte nicht vollstaendig gelesen werden!");
        clusterReadFailed = true;
        endStream();
        return false;
    }
    readPosition = 0;
    clusterFill = RecorderDisk::clusterSize;
    return true;
}

void Recording::noteZeroedRanges() {
    clusterStreamStart = clustersLoaded++ * std::uint64_t{RecorderDisk::clusterSize};
    // Only the cluster before this one can still hold bytes of a record being read.
    const std::uint64_t kept = clusterStreamStart > RecorderDisk::clusterSize ? clusterStreamStart - RecorderDisk::clusterSize : 0;
    zeroedRanges.erase(std::remove_if(zeroedRanges.begin(), zeroedRanges.end(),
                                      [kept](const std::pair<std::uint64_t, std::uint64_t>& range) { return range.second <= kept; }),
                       zeroedRanges.end());
    const std::uint64_t clusterStart = std::uint64_t(chain->current()) * RecorderDisk::clusterSize;
    for (const std::uint64_t sector : unreadablePositions) {
        const std::uint64_t start = clusterStreamStart + (sector - clusterStart);
        zeroedRanges.emplace_back(start, start + RecorderDisk::sectorSize);
    }
}

bool Recording::zeroedWithin(std::uint64_t position, std::uint32_t length) const {
    for (const std::pair<std::uint64_t, std::uint64_t>& range : zeroedRanges)
        if (range.first < position + length && position < range.second) return true;
    return false;
}

void Recording::reportUnreadChainEnd(std::int32_t last) {
    // An entry that could not be read stands as a chain end; the recording may go on behind it.
    if (recordingDirectory->clusterTable().isEntryRead(last)) return;
    Console::instance().printMessage(
        0, 103, TextFormat::format("Eintrag von Cluster %d in der Clustertabelle nicht lesbar!", last).c_str());
    clusterReadFailed = true;
}

void Recording::reportBrokenChain() {
    // The recording goes on somewhere the chain no longer leads: the stream is not whole.
    if (!chain->endedAtDamage()) return;
    Console::instance().printMessage(0, 104, (chain->breakText() + "!").c_str());
    clusterReadFailed = true;
}

void Recording::endStream() {
    chain.reset();
    readPosition = 0;
    clusterFill = 0;
}
