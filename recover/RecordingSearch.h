#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "base/TransferBuffer.h"
#include "recover/FoundRecording.h"

class ClusterTable;
class Directory;
class FileSystemCheck;
class RecorderDisk;

// Finds the recordings that no directory slot reaches, without writing anything:
// - chains still in the allocation table that no slot's chain leads to: every lost cluster
//   that no other lost cluster points to heads one;
// - records in clusters that the table calls free: a deleted recording keeps its data until
//   its clusters are written again.
// Free clusters are read in ascending order: their first 16.5 KiB and the sector of their last
// record boundary, and whole only where a recording ends or several could go on in them. A
// cluster that a slot's chain runs through, zeroed data and data that are not records never
// make a recording; a free cluster whose start cannot be read is not searched.
//
// Carved clusters join into recordings by the phase of their records (RecordPhase), by the
// order in which the recorder allocates (ascending through the free clusters: a recording whose
// records run to its last cluster's end goes on in the lowest later cluster of the next phase,
// and a cluster right behind it is its own run), and where several recordings could go on in
// one cluster, by the stream across the boundary (StreamJoint); evidence against a joint keeps
// the cluster from it, and without evidence either way the nearest recording takes it. A
// recording ends behind its last record; one whose records run to the end of its last cluster
// ends in the next free cluster that holds no records of its own, which holds its last
// record's tail.
class RecordingSearch {
public:
    explicit RecordingSearch(Directory& directory);
    virtual ~RecordingSearch();

    RecordingSearch(const RecordingSearch&) = delete;
    RecordingSearch& operator=(const RecordingSearch&) = delete;

    // Searches the disk, with a progress meter over the free clusters; once.
    void run();

    // In ascending order of their first clusters.
    const std::vector<FoundRecording>& found() const { return recordings; }
    // The free clusters searched and the clusters of lost chains.
    std::int32_t examinedClusters() const { return examined; }
    // Free clusters whose start could not be read: they were not searched.
    const std::vector<std::int32_t>& unreadableClusters() const { return unreadable; }
    // Directory slots whose sector could not be read: what was found may be theirs.
    std::size_t unreadSlotCount() const { return unreadSlots; }

private:
    std::int32_t lastSearchedCluster() const;
    std::int32_t freeClustersToSearch(const FileSystemCheck& check) const;
    void searchFreeClusters(const FileSystemCheck& check);
    // Reads the cluster's start and notes what it holds; true when it holds records.
    bool classify(std::int32_t cluster);
    std::uint32_t choosePhase(std::int32_t cluster, const std::vector<std::uint32_t>& phases);
    bool recordsRunToEnd(std::int32_t cluster, std::uint32_t phase);
    // Puts the classified cluster into the recording it goes on with, or starts one.
    void place(std::int32_t cluster);
    // Which of the recordings waiting for the cluster's phase takes it; none (npos) when none.
    std::size_t chooseRecording(std::int32_t cluster, const std::vector<std::size_t>& candidates, bool* guessed);
    // What the stream across the boundary says about the recording going on in the cluster read
    // into `following`.
    int evidenceFor(const FoundRecording& recording, std::uint32_t followingLength);
    // The cluster being placed, read whole into `following` once, however often it is asked for.
    std::uint32_t readFollowing(std::int32_t cluster);
    // A recording's last cluster, read whole into `whole` unless it holds it already.
    std::uint32_t readIntoWhole(std::int32_t cluster);
    void endInLastCluster(FoundRecording& recording, std::uint32_t lastPhase);
    void endWithTail(FoundRecording& recording);
    void endWaitingRecordings();
    void followLostChains(const FileSystemCheck& check);
    bool describeLostChain(FoundRecording& recording);
    // The phase of the records in the cluster's start, read anew; false when it holds none.
    bool phaseOfCluster(std::int32_t cluster, std::uint32_t* phase);
    void setEnd(FoundRecording& recording, std::uint32_t endInLast);
    // The cluster's start into `head`; false when it cannot be read whole.
    bool readHead(std::int32_t cluster);
    std::uint32_t readWhole(std::int32_t cluster, std::uint8_t* buffer);
    std::uint32_t phaseOf(std::int32_t cluster) const;
    std::int32_t lastOf(std::size_t recording) const { return recordings[recording].clusters.back(); }
    void nameFromSlots();

    Directory& directory;
    ClusterTable& table;
    RecorderDisk& disk;
    std::int32_t lastCluster = -1;  // of the disk, as far as it is on the drive
    // Per cluster of the disk: the phase of its records, or what else it is, and two flags.
    std::vector<std::uint16_t> state;
    TransferBuffer::Pointer head;     // the start of the cluster being classified
    TransferBuffer::Pointer whole;    // a whole cluster
    TransferBuffer::Pointer following;  // the whole cluster that several recordings could go on in
    std::int32_t wholeCluster = -1;      // which one `whole` holds
    std::uint32_t wholeLength = 0;
    std::int32_t followingCluster = -1;  // which one `following` holds
    std::uint32_t followingLength = 0;
    TransferBuffer::Pointer boundary; // the sectors around a record boundary
    std::vector<std::uint64_t> unreadablePositions;
    std::vector<FoundRecording> recordings;
    // The recordings whose records run to their last cluster's end, by the phase they go on at.
    std::map<std::uint32_t, std::vector<std::size_t>> waiting;
    // Free clusters that hold no records of their own, ascending: where a last record's tail may lie.
    std::vector<std::int32_t> plainClusters;
    std::int32_t examined = 0;
    std::vector<std::int32_t> unreadable;
    std::size_t unreadSlots = 0;
    bool searched = false;
};
