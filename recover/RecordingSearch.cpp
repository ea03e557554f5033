#include "recover/RecordingSearch.h"

#include <algorithm>
#include <climits>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"
#include "fs/FileSystemCheck.h"
#include "recover/RecordPhase.h"
#include "recover/StreamJoint.h"

namespace {
constexpr std::uint32_t clusterSize = RecorderDisk::clusterSize;
constexpr std::size_t none = static_cast<std::size_t>(-1);
constexpr std::size_t maxWeighed = 16;

// A cluster's state: the phase of its records (below 8196) or one of the values above it,
// and two flags.
constexpr std::uint16_t phaseBits = 0x3FFF;
constexpr std::uint16_t notSearched = 0x3FFF;
constexpr std::uint16_t noRecords = 0x3FFE;
constexpr std::uint16_t unreadableStart = 0x3FFD;
constexpr std::uint16_t tailTaken = 0x3FFC;
constexpr std::uint16_t runsToEndFlag = 0x8000;  // its records run to its end
constexpr std::uint16_t videoFlag = 0x4000;      // a video record begins in its start

bool holdsRecords(std::uint16_t state) { return (state & phaseBits) < tailTaken; }
}  // namespace

RecordingSearch::RecordingSearch(Directory& directory)
    : directory(directory),
      table(directory.clusterTable()),
      disk(directory.recorderDisk()),
      head(TransferBuffer::allocate(RecordPhase::headSize)),
      whole(TransferBuffer::allocate(clusterSize)),
      following(TransferBuffer::allocate(clusterSize)),
      boundary(TransferBuffer::allocate(2 * RecorderDisk::sectorSize)) {}

RecordingSearch::~RecordingSearch() = default;

void RecordingSearch::run() {
    if (searched) return;
    searched = true;
    const FileSystemCheck check(directory);
    unreadSlots = check.unreadSlots().size();
    lastCluster = lastSearchedCluster();
    state.assign(static_cast<std::size_t>(std::max(lastCluster + 1, 0)), notSearched);
    disk.expectScatteredReadsFrom(ClusterTable::firstDataCluster);
    searchFreeClusters(check);
    disk.expectStreamingReads();
    followLostChains(check);
    nameFromSlots();
    std::sort(recordings.begin(), recordings.end(),
              [](const FoundRecording& one, const FoundRecording& other) { return one.firstCluster() < other.firstCluster(); });
}

// Clusters past the drive's end, where its length is known, hold nothing to find.
std::int32_t RecordingSearch::lastSearchedCluster() const {
    std::uint64_t length = 0;
    if (!disk.driveLength(&length)) return table.lastCluster();
    return static_cast<std::int32_t>(std::min<std::int64_t>(table.lastCluster(), std::int64_t(length / clusterSize) - 1));
}

std::int32_t RecordingSearch::freeClustersToSearch(const FileSystemCheck& check) const {
    std::int32_t count = 0;
    for (std::int32_t cluster = ClusterTable::firstDataCluster; cluster <= lastCluster; ++cluster)
        if (table.entryOf(cluster) == ClusterTable::FreeCluster && !check.isReached(cluster)) ++count;
    return count;
}

void RecordingSearch::searchFreeClusters(const FileSystemCheck& check) {
    Console& console = Console::instance();
    const std::int32_t count = freeClustersToSearch(check);
    console.print(TextFormat::format("Durchsuchen von %d freien Clustern nach Aufnahmen\n", count).c_str());
    console.resetProgress();
    console.startProgress(static_cast<std::uint64_t>(count));
    for (std::int32_t cluster = ClusterTable::firstDataCluster; cluster <= lastCluster; ++cluster) {
        if (table.entryOf(cluster) != ClusterTable::FreeCluster || check.isReached(cluster)) continue;
        if (classify(cluster)) place(cluster);
        console.stepProgress();
    }
    console.finishProgress();
    endWaitingRecordings();
}

bool RecordingSearch::classify(std::int32_t cluster) {
    std::uint16_t& found = state[static_cast<std::size_t>(cluster)];
    ++examined;
    if (!readHead(cluster)) {
        found = unreadableStart;
        unreadable.push_back(cluster);
        return false;
    }
    const std::vector<std::uint32_t> phases = RecordPhase::phasesOf(head.get(), RecordPhase::headSize);
    if (phases.empty()) {
        found = noRecords;
        plainClusters.push_back(cluster);
        return false;
    }
    const std::uint32_t phase = choosePhase(cluster, phases);
    found = static_cast<std::uint16_t>(phase);
    if (RecordPhase::holdsVideo(head.get(), RecordPhase::headSize, phase)) found |= videoFlag;
    if (recordsRunToEnd(cluster, phase)) found |= runsToEndFlag;
    return true;
}

// Several phases fit the cluster's start only in odd data: the one a recording right before it
// goes on at, else the first that fits the whole cluster.
std::uint32_t RecordingSearch::choosePhase(std::int32_t cluster, const std::vector<std::uint32_t>& phases) {
    if (phases.size() == 1) return phases.front();
    const std::uint16_t before = state[static_cast<std::size_t>(cluster - 1)];
    if (holdsRecords(before) && (before & runsToEndFlag) != 0) {
        const std::uint32_t expected = RecordPhase::next(before & phaseBits);
        if (std::find(phases.begin(), phases.end(), expected) != phases.end()) return expected;
    }
    const std::uint32_t count = readFollowing(cluster);
    const std::vector<std::uint32_t> fitting = RecordPhase::phasesOf(following.get(), count);
    return fitting.empty() ? phases.front() : fitting.front();
}

// The record at the cluster's last boundary has a valid id when the stream goes on to the
// cluster's end; behind a recording's end lie zeros or older data. A boundary that cannot be
// read counts as going on.
bool RecordingSearch::recordsRunToEnd(std::int32_t cluster, std::uint32_t phase) {
    const std::uint32_t last = RecordPhase::lastBoundary(phase);
    const std::uint32_t sectorStart = last / RecorderDisk::sectorSize * RecorderDisk::sectorSize;
    const std::uint32_t length = last + 4 - sectorStart > RecorderDisk::sectorSize ? 2 * RecorderDisk::sectorSize
                                                                                   : RecorderDisk::sectorSize;
    const std::uint64_t position = std::uint64_t(cluster) * clusterSize + sectorStart;
    if (disk.readAt(boundary.get(), position, length) != length) return true;
    return RecordPhase::isRecordAt(boundary.get(), length, last - sectorStart);
}

void RecordingSearch::place(std::int32_t cluster) {
    const std::uint16_t found = state[static_cast<std::size_t>(cluster)];
    const std::uint32_t phase = found & phaseBits;
    std::vector<std::size_t>& candidates = waiting[phase];
    bool guessed = false;
    const std::size_t chosen = chooseRecording(cluster, candidates, &guessed);
    std::size_t index = recordings.size();
    if (chosen == none) {
        FoundRecording started;
        started.zerosFirst = phase != 0;
        started.startOffset = phase;
        recordings.push_back(started);
    } else {
        index = candidates[chosen];
        candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(chosen));
    }
    FoundRecording& recording = recordings[index];
    recording.clusters.push_back(cluster);
    recording.joinGuessed = recording.joinGuessed || guessed;
    recording.holdsVideo = recording.holdsVideo || (found & videoFlag) != 0;
    if ((found & runsToEndFlag) != 0)
        waiting[RecordPhase::next(phase)].push_back(index);
    else
        endInLastCluster(recording, phase);
}

std::size_t RecordingSearch::chooseRecording(std::int32_t cluster, const std::vector<std::size_t>& candidates,
                                             bool* guessed) {
    if (candidates.empty()) return none;
    // A cluster right behind the recording's last one is its run.
    if (candidates.size() == 1 && lastOf(candidates.front()) == cluster - 1) return 0;
    // The recorder takes the lowest free cluster: the nearest recordings are weighed, no more
    // than a few, so that many recordings waiting at one phase cost no more than a few reads.
    std::vector<std::size_t> nearest(candidates.size());
    for (std::size_t k = 0; k < nearest.size(); ++k) nearest[k] = k;
    const std::size_t weighed = std::min(nearest.size(), maxWeighed);
    std::partial_sort(nearest.begin(), nearest.begin() + static_cast<std::ptrdiff_t>(weighed), nearest.end(),
                      [&](std::size_t one, std::size_t other) { return lastOf(candidates[one]) > lastOf(candidates[other]); });
    const std::uint32_t length = readFollowing(cluster);
    int best = INT_MIN;
    std::size_t chosen = none;
    int atBest = 0;
    for (std::size_t n = 0; n < weighed; ++n) {
        const std::size_t k = nearest[n];
        const int score = evidenceFor(recordings[candidates[k]], length);
        if (score > best) {
            best = score;
            chosen = k;
            atBest = 1;
        } else if (score == best) {
            ++atBest;
        }
    }
    if (best < 0) return none;
    *guessed = atBest > 1;
    return chosen;
}

int RecordingSearch::evidenceFor(const FoundRecording& recording, std::uint32_t followingLength) {
    const std::int32_t last = recording.clusters.back();
    if (readIntoWhole(last) != clusterSize) return 0;
    return StreamJoint::evidence(whole.get(), phaseOf(last), following.get(), followingLength);
}

// The cluster placed before goes on into `whole`: the recording it went to is weighed next.
std::uint32_t RecordingSearch::readFollowing(std::int32_t cluster) {
    if (cluster == followingCluster) return followingLength;
    std::swap(whole, following);
    std::swap(wholeCluster, followingCluster);
    std::swap(wholeLength, followingLength);
    if (cluster != followingCluster) {
        followingLength = readWhole(cluster, following.get());
        followingCluster = cluster;
    }
    return followingLength;
}

std::uint32_t RecordingSearch::readIntoWhole(std::int32_t cluster) {
    if (cluster != wholeCluster) {
        wholeLength = readWhole(cluster, whole.get());
        wholeCluster = cluster;
    }
    return wholeLength;
}

void RecordingSearch::endInLastCluster(FoundRecording& recording, std::uint32_t lastPhase) {
    const std::int32_t last = recording.clusters.back();
    const bool held = last == followingCluster;
    const std::uint8_t* bytes = held ? following.get() : whole.get();
    const std::uint32_t count = held ? followingLength : readIntoWhole(last);
    recording.holdsVideo = recording.holdsVideo || RecordPhase::holdsVideo(bytes, count, lastPhase);
    setEnd(recording, RecordPhase::recordsEnd(bytes, count, lastPhase));
}

// The records run to the end of the last cluster found, and no later cluster of the next phase
// went on with them: the last record's tail lies in the next free cluster that holds no
// records of its own, unless that one is zero where the tail would be.
void RecordingSearch::endWithTail(FoundRecording& recording) {
    const std::uint32_t expected = RecordPhase::next(phaseOf(recording.clusters.back()));
    auto tail = std::upper_bound(plainClusters.begin(), plainClusters.end(), recording.clusters.back());
    while (tail != plainClusters.end() && state[static_cast<std::size_t>(*tail)] == tailTaken) ++tail;
    const std::uint8_t* start = head.get();
    const bool readable = tail != plainClusters.end() && readHead(*tail);
    const bool recordAtPhase = readable && RecordPhase::isRecordAt(start, RecordPhase::headSize, expected);
    if (!readable || (!recordAtPhase && (expected == 0 || RecordPhase::isAllZero(start, expected)))) {
        setEnd(recording, clusterSize);
        return;
    }
    state[static_cast<std::size_t>(*tail)] = tailTaken;
    recording.clusters.push_back(*tail);
    recording.holdsVideo = recording.holdsVideo || RecordPhase::holdsVideo(start, RecordPhase::headSize, expected);
    setEnd(recording, RecordPhase::recordsEnd(start, RecordPhase::headSize, expected));
}

void RecordingSearch::endWaitingRecordings() {
    std::vector<std::size_t> open;
    for (const auto& phaseAndRecordings : waiting)
        open.insert(open.end(), phaseAndRecordings.second.begin(), phaseAndRecordings.second.end());
    std::sort(open.begin(), open.end(), [this](std::size_t one, std::size_t other) { return lastOf(one) < lastOf(other); });
    for (const std::size_t index : open) endWithTail(recordings[index]);
    waiting.clear();
}

void RecordingSearch::setEnd(FoundRecording& recording, std::uint32_t endInLast) {
    recording.sizeBytes = (recording.fileClusters() - 1) * clusterSize + std::min(endInLast, clusterSize);
}

void RecordingSearch::followLostChains(const FileSystemCheck& check) {
    const std::int32_t last = lastCluster;
    const auto isLost = [&](std::int32_t cluster) {
        return cluster >= ClusterTable::firstDataCluster && cluster <= last &&
               table.entryOf(cluster) != ClusterTable::FreeCluster && table.isEntryRead(cluster) &&
               !check.isReached(cluster);
    };
    std::vector<bool> pointedTo(state.size(), false);
    std::vector<bool> passed(static_cast<std::size_t>(ClusterTable::maxClusterCount), true);
    for (std::int32_t cluster = ClusterTable::firstDataCluster; cluster <= last; ++cluster) {
        if (!isLost(cluster)) continue;
        passed[static_cast<std::size_t>(cluster)] = false;
        const std::int32_t next = table.entryOf(cluster);
        if (isLost(next)) pointedTo[static_cast<std::size_t>(next)] = true;
    }
    for (std::int32_t cluster = ClusterTable::firstDataCluster; cluster <= last; ++cluster) {
        if (!isLost(cluster) || pointedTo[static_cast<std::size_t>(cluster)]) continue;
        FoundRecording recording;
        recording.origin = FoundRecording::Origin::LostChain;
        for (ChainWalker walk(table, cluster, passed); !walk.ended(); walk.advance())
            recording.clusters.push_back(walk.current());
        examined += static_cast<std::int32_t>(recording.clusters.size());
        if (describeLostChain(recording)) recordings.push_back(std::move(recording));
    }
}

// A lost chain is a recording when its first cluster holds records, or its second one does
// (a recording with a start offset passes over its first cluster).
bool RecordingSearch::describeLostChain(FoundRecording& recording) {
    std::uint32_t phase = 0;
    std::uint32_t lastPhase = 0;
    const std::uint64_t count = recording.clusters.size();
    if (phaseOfCluster(recording.firstCluster(), &phase)) {
        recording.zerosFirst = phase != 0;
        lastPhase = RecordPhase::after(phase, count - 1);
    } else if (count > 1 && phaseOfCluster(recording.clusters[1], &phase)) {
        lastPhase = RecordPhase::after(phase, count - 2);
    } else {
        return false;
    }
    recording.startOffset = phase;
    recording.holdsVideo = RecordPhase::holdsVideo(head.get(), RecordPhase::headSize, phase);
    endInLastCluster(recording, lastPhase);
    return true;
}

bool RecordingSearch::phaseOfCluster(std::int32_t cluster, std::uint32_t* phase) {
    if (!readHead(cluster)) return false;
    const std::vector<std::uint32_t> phases = RecordPhase::phasesOf(head.get(), RecordPhase::headSize);
    if (phases.empty()) return false;
    *phase = phases.front();
    return true;
}

bool RecordingSearch::readHead(std::int32_t cluster) {
    return disk.readAt(head.get(), std::uint64_t(cluster) * clusterSize, RecordPhase::headSize) == RecordPhase::headSize;
}

std::uint32_t RecordingSearch::readWhole(std::int32_t cluster, std::uint8_t* buffer) {
    unreadablePositions.clear();
    return disk.readClusterAround(buffer, cluster, &unreadablePositions);
}

std::uint32_t RecordingSearch::phaseOf(std::int32_t cluster) const {
    return state[static_cast<std::size_t>(cluster)] & phaseBits;
}

void RecordingSearch::nameFromSlots() {
    std::map<std::int32_t, std::string> names;
    for (std::int32_t slot = 0; slot < Directory::entryCount; ++slot)
        if (const DirEntry* entry = directory.entryAt(slot)) names.emplace(entry->firstCluster(), entry->name());
    for (FoundRecording& recording : recordings) {
        const auto named = names.find(recording.firstCluster());
        if (named != names.end()) recording.slotName = named->second;
    }
}
