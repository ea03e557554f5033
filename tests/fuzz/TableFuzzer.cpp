// Fuzz target: the input is the table and directory of a small recorder disk and the start of
// its data clusters (TableInput says how). On that disk list, save, rip in both modes and
// delete run in turn on one slot. None but delete may write, and delete only the table and the
// directory: the slot it names and the entries of that slot's chain, which become free (but for
// clusters that other slots' chains run through). Every transfer lies in clusters 0 to 5 or is
// a cluster of a chain that a used slot names, as the tool follows chains; only such a cluster
// can lie past the drive's end, where the table alone cannot tell that it is missing. A backup
// file that the save wrote holds the recording, and its rip writes what the rip on the disk
// wrote.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "FileBytes.h"
#include "FuzzCheck.h"
#include "FuzzDisks.h"
#include "FuzzDrive.h"
#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "FuzzRecorder.h"
#include "TableInput.h"
#include "support/BackupBytes.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::size_t systemArea = 6 * mebibyte;
constexpr std::int32_t firstDataCluster = 6;
constexpr std::int32_t tableClusters = 0x13FF80;

std::int32_t entryOf(const std::vector<std::uint8_t>& drive, std::int32_t cluster) {
    return static_cast<std::int32_t>(FuzzDisks::littleEndian(drive.data() + TableInput::entryPosition(cluster)));
}

bool slotUsed(const std::vector<std::uint8_t>& drive, std::int32_t slot) {
    return FuzzDisks::littleEndian(drive.data() + TableInput::slotPosition(slot)) != 0;
}

std::int32_t firstClusterOf(const std::vector<std::uint8_t>& drive, std::int32_t slot) {
    return static_cast<std::int32_t>(FuzzDisks::littleEndian(drive.data() + TableInput::slotPosition(slot) + 224));
}

// The chain from `first` as far as it is valid: data clusters of the table, none twice, none
// whose entry reads free. `end` becomes where the walk stopped: -1 at EndOfChain (or for an
// empty chain), otherwise the cluster number that broke the chain off.
std::vector<std::int32_t> chainOf(const std::vector<std::uint8_t>& drive, std::int32_t first,
                                  std::int32_t* end = nullptr) {
    std::vector<std::int32_t> chain;
    std::set<std::int32_t> passed;
    std::int32_t cluster = first;
    for (; cluster >= firstDataCluster && cluster < tableClusters; cluster = entryOf(drive, cluster)) {
        if (entryOf(drive, cluster) == 0 || !passed.insert(cluster).second) break;
        chain.push_back(cluster);
    }
    if (end) *end = cluster;
    return chain;
}

// The clusters of the chains of all used slots but `except` (-1: of all of them).
std::set<std::int32_t> namedClusters(const std::vector<std::uint8_t>& drive, std::int32_t except = -1) {
    std::set<std::int32_t> named;
    for (std::int32_t slot = 0; slot < 4096; ++slot) {
        if (!slotUsed(drive, slot) || slot == except) continue;
        for (std::int32_t cluster : chainOf(drive, firstClusterOf(drive, slot))) named.insert(cluster);
    }
    return named;
}

void checkTransfers(const FuzzRecorder& recorder, const std::set<std::int32_t>& named, bool mayWrite) {
    for (const WatchedPlatform::Transfer& transfer : recorder.fake.transfers()) {
        FuzzCheck::expect(mayWrite || !transfer.write, "a command other than delete writes to the disk");
        if (transfer.position + transfer.length <= systemArea) continue;
        const bool wholeCluster = transfer.position % mebibyte == 0 && transfer.length == mebibyte;
        FuzzCheck::expect(!transfer.write && wholeCluster &&
                              named.count(static_cast<std::int32_t>(transfer.position / mebibyte)) == 1,
                          "a transfer reaches a cluster that no chain names");
    }
}

std::int32_t run(FuzzRecorder& recorder, const std::set<std::int32_t>& named, const std::vector<std::string>& words,
                 bool mayWrite = false) {
    const std::int32_t status = recorder.run(words);
    FuzzCheck::expect(status == 0 || status == 1, "exit status other than 0 or 1");
    checkTransfers(recorder, named, mayWrite);
    return status;
}

// A backup file holds the header, the slot's entry image and its chain's clusters whole, and
// only a chain that ends in EndOfChain on the drive can be saved; a backup file that the save
// gave up on holds the beginning of that.
void checkSave(const std::vector<std::uint8_t>& drive, std::int32_t slot, std::int32_t status) {
    const FileBytes saved("Velmoran_" + std::to_string(slot) + ".vlm");
    const std::string_view file = saved.bytes();
    bool whole = slotUsed(drive, slot);
    std::size_t length = 0;  // of what the file should hold
    bool same = true;        // as far as the file goes
    const auto compare = [&](const void* bytes, std::size_t size) {
        if (length < file.size())
            same = same && std::memcmp(file.data() + length, bytes, std::min(size, file.size() - length)) == 0;
        length += size;
    };
    if (whole) {
        const std::string head = BackupBytes::header() + BackupBytes::swappedName(FuzzDisks::bytesOf(
                                                             drive, TableInput::slotPosition(slot), 256));
        compare(head.data(), head.size());
        std::int32_t end = -1;
        for (std::int32_t cluster : chainOf(drive, firstClusterOf(drive, slot), &end)) {
            whole = std::uint64_t(cluster + 1) * mebibyte <= drive.size();
            if (!whole) break;
            compare(drive.data() + std::size_t(cluster) * mebibyte, mebibyte);
        }
        whole = whole && end == -1;
    }
    FuzzCheck::expect(status == 1 || (whole && same && file.size() == length), "the backup file is not the recording");
    FuzzCheck::expect(same && file.size() <= length, "the backup file holds other bytes");
}

struct RipOutputs {
    std::int32_t movieStatus;
    std::int32_t audioStatus;
    FileBytes video;
    FileBytes audio;
    FileBytes mpa;
};

// Both modes of a rip of the slot's recording, from the disk or from a backup file.
RipOutputs rip(FuzzRecorder& recorder, const std::set<std::int32_t>& named, const std::string& source,
               const std::string& baseName) {
    const std::int32_t movieStatus = run(recorder, named, {"movie", "rip", source});
    const std::int32_t audioStatus = run(recorder, named, {"audio", "rip", source});
    RipOutputs outputs{movieStatus, audioStatus, FileBytes(baseName + "_video.pes"),
                       FileBytes(baseName + "_audio.pes"), FileBytes(baseName + ".mpa")};
    // Both modes write the same audio payloads; every output is a sequence of whole payloads.
    FuzzCheck::expect(outputs.movieStatus == outputs.audioStatus, "the two modes of the rip end differently");
    FuzzCheck::expect(outputs.mpa.bytes() == outputs.audio.bytes(), "audio mode and movie mode write different audio");
    FuzzCheck::expect(outputs.mpa.size() % 8192 == 0 && outputs.video.size() % 8192 == 0,
                      "an output holds a part of a payload");
    return outputs;
}

// The backup file of a recording carries the same stream as its chain on the disk: both rips
// must end alike and write the same.
void checkSameRips(const RipOutputs& fromDisk, const RipOutputs& fromFile) {
    FuzzCheck::expect(fromDisk.movieStatus == fromFile.movieStatus && fromDisk.video.bytes() == fromFile.video.bytes() &&
                          fromDisk.audio.bytes() == fromFile.audio.bytes(),
                      "the rip of the saved backup file differs from the rip on the disk");
}

// Delete clears the slot and frees its chain, but for the clusters that other slots' chains run
// through; nothing else of the disk changes.
void checkDelete(FuzzDrive& drive, std::int32_t slot, const std::vector<std::int32_t>& chain,
                 const std::set<std::int32_t>& others, std::int32_t status) {
    if (status == 0) {
        drive.expect(TableInput::slotPosition(slot), std::string(256, '\0'));
        for (std::int32_t cluster : chain)
            if (others.count(cluster) == 0) drive.expect(TableInput::entryPosition(cluster), std::string(4, '\0'));
    }
    FuzzCheck::expect(drive.matches(systemArea), "delete changed more than its slot and chain");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzDrive drive(TableInput::formattedDrive());
    const FuzzInput input(FuzzFolder::instance());
    const std::int32_t slot = TableInput::fill(drive, data, size);
    std::vector<std::uint8_t>& bytes = drive.drive();
    const std::set<std::int32_t> named = namedClusters(bytes);
    const std::string number = std::to_string(slot);
    const std::vector<std::int32_t> chain =
        slotUsed(bytes, slot) ? chainOf(bytes, firstClusterOf(bytes, slot)) : std::vector<std::int32_t>();
    const std::set<std::int32_t> others = namedClusters(bytes, slot);

    // One run for all five: the commands before delete change neither the disk nor the table
    // and directory in memory, so delete finds them as a run of its own would.
    FuzzRecorder recorder(std::move(bytes));
    FuzzCheck::expect(run(recorder, named, {"list"}) == 0, "list fails");
    const std::int32_t saved = run(recorder, named, {"movie", "save", number});
    checkSave(recorder.drive(), slot, saved);
    const RipOutputs fromDisk = rip(recorder, named, number, "Velmoran_" + number);
    // A recording with an empty chain is no rip from the disk, while its backup file rips to
    // empty outputs.
    if (saved == 0 && !chain.empty()) {
        std::filesystem::rename("Velmoran_" + number + ".vlm", "gesichert.vlm");
        checkSameRips(fromDisk, rip(recorder, named, "gesichert.vlm", "gesichert"));
    }
    const std::int32_t deleted = run(recorder, named, {"movie", "delete", number}, true);
    bytes = recorder.takeDrive();
    drive.noteWrites(recorder.fake);
    checkDelete(drive, slot, chain, others, deleted);
    drive.reset();
    return 0;
}
