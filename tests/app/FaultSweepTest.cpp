// Fault sweeps through the in-memory drive: every disk write of load, delete, wipe, format and
// image load fails in turn, or moves only half of its bytes, and so does every disk read of
// save, rip and image save. Each run is a whole command on a fresh recorder. Afterwards the
// disk must be consistent, and the command must either have done exactly what it does without
// a fault or have failed with exit status 1.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/BackupBytes.h"
#include "support/CurrentFolder.h"
#include "support/DiskCheck.h"
#include "support/InMemoryRecorder.h"
#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::int32_t driveClusters = 16;
constexpr std::int32_t swept = 5;  // the recording that save, rip and delete work on
const std::vector<std::int32_t> sweptChain = {12, 9, 14};

using Drive = std::vector<std::uint8_t>;

// A movie of video, audio and other records, about 2.2 MiB.
RecordStream movie() {
    const std::uint32_t pattern[] = {1, 2, 1, 3, 2, 1, 4, 2, 10};
    RecordStream records;
    for (std::uint32_t k = 0; k < 280; ++k) records.add(pattern[k % 9], RecordStream::payload(k));
    return records;
}

void putBytes(Drive& drive, std::int32_t cluster, const std::string& bytes) {
    std::copy(bytes.begin(), bytes.end(), drive.begin() + std::ptrdiff_t(std::size_t(cluster) * mebibyte));
}

// Three recordings on chains out of order, the movie among them, and cluster 15 in use by
// none of them (lost before the run); clusters 10, 11 and 13 free. Composed once: every run
// starts from a copy.
const RecorderLayout& layoutWithRecordings() {
    static const RecorderLayout layout = [] {
        RecorderLayout composed(driveClusters);
        composed.addChain({7});
        composed.putSlot(0, "Null", 7, 0, 1000);
        composed.addChain({8, 6});
        composed.putSlot(3, "Sicherung", 8, 1, 5);
        composed.addChain(sweptChain);
        composed.putSlot(swept, "Aufnahme", 12, 2, static_cast<std::uint32_t>(movie().size() - 2 * mebibyte));
        composed.setEntry(15, -1);
        return composed;
    }();
    return layout;
}

std::unique_ptr<InMemoryRecorder> recorderWithRecordings() {
    static const Drive drive = [] {
        InMemoryRecorder recorder(driveClusters, layoutWithRecordings());
        for (const std::int32_t cluster : {6, 7, 8, 10, 11, 13, 15})
            putBytes(recorder.drive(), cluster, BackupBytes::cluster(cluster));
        RecordStream::copyOverChain(recorder.drive(), sweptChain, movie().bytes());
        return recorder.drive();
    }();
    std::unique_ptr<InMemoryRecorder> recorder(new InMemoryRecorder(driveClusters, layoutWithRecordings()));
    recorder->drive() = drive;
    return recorder;
}

// Another disk of the same size, for image load: chains that cross those of the recorder's.
Drive otherDisk() {
    RecorderLayout layout(driveClusters);
    layout.addChain({10, 6});
    layout.putSlot(1, "Neu", 10, 1, 0);
    layout.addChain({13});
    layout.putSlot(2, "Kurz", 13, 0, 77);
    layout.addChain({7, 15, 8});
    layout.putSlot(swept, "Anders", 7, 2, 9);
    Drive drive(driveClusters * mebibyte);
    std::copy(RecorderDisk::diskSignature, RecorderDisk::diskSignature + RecorderDisk::signatureSize, drive.begin());
    layout.copyInto(drive);
    for (std::int32_t cluster = 6; cluster < driveClusters; ++cluster)
        putBytes(drive, cluster, BackupBytes::cluster(100 + cluster));
    return drive;
}

const char* bytesAt(const Drive& drive, std::size_t position) {
    return reinterpret_cast<const char*>(drive.data() + position);
}

// Every recording the directory names: its slot and the bytes of its chain.
std::map<std::int32_t, std::string> recordingsOn(const Drive& drive) {
    std::map<std::int32_t, std::string> recordings;
    const DiskCheck check(drive);
    for (const auto& slot : check.chains()) {
        std::string bytes(bytesAt(drive, RecorderLayout::directoryPosition + 256u * std::size_t(slot.first)), 256);
        for (const std::int32_t cluster : slot.second)
            bytes.append(bytesAt(drive, std::size_t(cluster) * mebibyte), mebibyte);
        recordings[slot.first] = bytes;
    }
    return recordings;
}

enum class Swept { Reads, Writes };

struct Outcome {
    ToolResult result;
    Drive drive;
    std::map<std::string, std::string> files;  // the command's output files, as it left them
    int calls = 0;                             // disk reads or writes, whichever are swept
};

struct Command {
    std::vector<std::string> words;
    std::vector<std::string> outputs;  // files the command makes in its folder
    int fewestCalls;                   // so that a sweep over too few calls does not pass unseen
};

class FaultSweepTest : public ::testing::Test {
protected:
    // A backup file of three clusters.
    FaultSweepTest() {
        TempDir::writeAll(backup, BackupBytes::header() + BackupBytes::entry("Film", 0x55, 2, 9) +
                                      BackupBytes::cluster(1) + BackupBytes::cluster(2) + BackupBytes::cluster(3));
    }

    using Judge = std::function<void(const Drive& before, const Outcome& faulty, const Outcome& faultFree)>;

    // Runs the command once without a fault, which tells how many calls of the kind it makes,
    // then once per call with that call failing and once with it moving half of its bytes.
    // Returns the number of faults injected.
    int sweep(Swept kind, const Command& command, const Judge& judge) {
        const Drive before = recorderWithRecordings()->drive();
        const Outcome faultFree = runOnce(kind, command, 0, false);
        EXPECT_EQ(0, faultFree.result.status) << faultFree.result.output;
        EXPECT_GE(faultFree.calls, command.fewestCalls);
        int injected = 0;
        for (int call = 1; call <= faultFree.calls; ++call) {
            for (const bool half : {false, true}) {
                SCOPED_TRACE(command.words[0] + " " + command.words[1] + ": " + (half ? "short " : "failed ") +
                             (kind == Swept::Reads ? "read " : "write ") + std::to_string(call) + " of " +
                             std::to_string(faultFree.calls));
                judge(before, runOnce(kind, command, call, half), faultFree);
                ++injected;
            }
        }
        std::string key = "faults";
        for (const std::string& word : command.words)
            key += "_" + (word.find('/') == std::string::npos ? word : std::string("file"));
        RecordProperty(key, injected);
        return injected;
    }

    Outcome runOnce(Swept kind, const Command& command, int call, bool half) {
        std::unique_ptr<InMemoryRecorder> recorder = recorderWithRecordings();
        FakePlatform& fake = recorder->fake;
        if (kind == Swept::Reads)
            (half ? fake.shortReadAt : fake.failReadAt) = call;
        else
            (half ? fake.shortWriteAt : fake.failWriteAt) = call;
        Outcome outcome;
        outcome.result = recorder->run(command.words);
        outcome.drive = recorder->drive();
        outcome.calls = kind == Swept::Reads ? fake.readCount : fake.writeCount;
        for (const std::string& name : command.outputs) {
            if (!std::filesystem::exists(name)) continue;
            outcome.files[name] = TempDir::readAll(name);
            std::filesystem::remove(name);
        }
        return outcome;
    }

    // The disk after a faulty write: every named chain intact and allocated; every recording
    // either as it was or as the fault-free run left it, so never one whose data did not all
    // arrive; no cluster lost beyond the command's own; and success only for the whole work.
    static void expectConsistent(const Drive& before, const Outcome& faulty, const Outcome& faultFree,
                                 const std::set<std::int32_t>& commandClusters) {
        const DiskCheck check(faulty.drive);
        EXPECT_TRUE(check.problems().empty()) << check.problems().front() << "\n" << faulty.result.output;
        const std::map<std::int32_t, std::string> was = recordingsOn(before);
        const std::map<std::int32_t, std::string> whole = recordingsOn(faultFree.drive);
        for (const auto& recording : recordingsOn(faulty.drive)) {
            const auto old = was.find(recording.first);
            const auto done = whole.find(recording.first);
            EXPECT_TRUE((old != was.end() && old->second == recording.second) ||
                        (done != whole.end() && done->second == recording.second))
                << "slot " << recording.first << " names data that is neither the old nor the new";
        }
        std::set<std::int32_t> mayBeLost = DiskCheck(before).unreachableInUse();
        mayBeLost.insert(commandClusters.begin(), commandClusters.end());
        for (const std::int32_t cluster : check.unreachableInUse())
            EXPECT_EQ(1u, mayBeLost.count(cluster)) << "cluster " << cluster << " lost\n" << faulty.result.output;
        if (faulty.result.status == 0)
            EXPECT_TRUE(faulty.drive == faultFree.drive) << "success without the whole work\n" << faulty.result.output;
        else
            EXPECT_EQ(1, faulty.result.status);
    }

    // The clusters whose table entries the fault-free run changed.
    static std::set<std::int32_t> changedEntries(const Drive& before, const Drive& after) {
        const DiskCheck old(before);
        const DiskCheck changed(after);
        std::set<std::int32_t> clusters;
        for (std::int32_t cluster = 6; cluster < driveClusters; ++cluster)
            if (old.entry(cluster) != changed.entry(cluster)) clusters.insert(cluster);
        return clusters;
    }

    // Wipe, format and image load replace the whole disk: every data cluster is theirs.
    static std::set<std::int32_t> everyDataCluster() {
        std::set<std::int32_t> clusters;
        for (std::int32_t cluster = 6; cluster < driveClusters; ++cluster) clusters.insert(cluster);
        return clusters;
    }

    int sweepWrites(const Command& command, bool wholeDisk) {
        return sweep(Swept::Writes, command,
                     [wholeDisk](const Drive& before, const Outcome& faulty, const Outcome& faultFree) {
                         expectConsistent(before, faulty, faultFree,
                                          wholeDisk ? everyDataCluster() : changedEntries(before, faultFree.drive));
                     });
    }

    // A read never changes the disk; the command succeeds only with the outputs of a run
    // without a fault.
    int sweepReads(const Command& command) {
        return sweep(Swept::Reads, command, [](const Drive& before, const Outcome& faulty, const Outcome& faultFree) {
            EXPECT_TRUE(before == faulty.drive);
            if (faulty.result.status == 0)
                EXPECT_TRUE(faulty.files == faultFree.files) << "success without the whole output\n"
                                                             << faulty.result.output;
            else
                EXPECT_EQ(1, faulty.result.status);
        });
    }

    TempDir temp;
    CurrentFolder here{temp.path()};
    const std::string backup = temp.file("film.vlm");
};

TEST_F(FaultSweepTest, EveryFailingWriteLeavesAConsistentDisk) {
    int injected = 0;
    // Three clusters, the table cluster that changed, the entry.
    injected += sweepWrites({{"movie", "load", backup}, {}, 5}, false);
    // The entry, then the table cluster.
    injected += sweepWrites({{"movie", "delete", std::to_string(swept)}, {}, 2}, false);
    // Every cluster, and the write beyond the last.
    injected += sweepWrites({{"image", "wipe"}, {}, driveClusters + 1}, true);
    injected += sweepWrites({{"image", "format"}, {}, driveClusters + 6}, true);
    const Drive image = otherDisk();
    TempDir::writeAll("Velmoran.img", std::string(image.begin(), image.end()));
    injected += sweepWrites({{"image", "load"}, {}, driveClusters}, true);
    RecordProperty("faultsInjected", injected);
}

TEST_F(FaultSweepTest, EveryFailingReadFailsTheCommandOrLeavesItsOutputWhole) {
    const std::string base = "Velmoran_" + std::to_string(swept);
    int injected = 0;
    // The probe, the directory, the table, the chain.
    injected += sweepReads({{"movie", "save", std::to_string(swept)}, {base + ".vlm"}, 10});
    injected += sweepReads({{"movie", "rip", std::to_string(swept)}, {base + "_video.pes", base + "_audio.pes"}, 10});
    injected += sweepReads({{"audio", "rip", std::to_string(swept)}, {base + ".mpa"}, 10});
    RecordProperty("faultsInjected", injected);
}

TEST_F(FaultSweepTest, ImageSaveTakesAFailingReadForTheEndOfTheDisk) {
    // A read that delivers nothing, or less than a cluster, is what the end of the disk looks
    // like to the image save: the drive's size is nowhere stored, and the table need not cover
    // the whole disk. So the image ends there and the command succeeds; what it wrote must
    // still be the disk's bytes from byte 0 on.
    // The probe, the table, every cluster and the read beyond the last.
    sweep(Swept::Reads, {{"image", "save"}, {"Velmoran.img"}, driveClusters + 2},
          [](const Drive& before, const Outcome& faulty, const Outcome&) {
              EXPECT_TRUE(before == faulty.drive);
              if (faulty.result.status != 0) {
                  EXPECT_EQ(1, faulty.result.status);
                  return;
              }
              const std::string& image = faulty.files.at("Velmoran.img");
              EXPECT_TRUE(image.size() <= before.size() &&
                          image.compare(0, image.size(), bytesAt(before, 0), image.size()) == 0);
          });
}
}  // namespace
