// Fuzz target: the input is the bytes of a backup file. It is ripped in audio and in movie
// mode, then loaded twice onto a small recorder disk with three free clusters (so that a
// two-cluster file fits once and then runs out of space half way). After each load the disk
// must be consistent whatever the load's outcome; a load that succeeded must have put the
// file's entry and data into the first free slot and free clusters only, and one that failed
// must have left the table and the directory as they were.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzDisks.h"
#include "FuzzFolder.h"
#include "FuzzInput.h"
#include "FuzzRecorder.h"
#include "base/Console.h"
#include "rip/FileRipSource.h"
#include "support/BackupBytes.h"
#include "support/DiskCheck.h"
#include "support/TempDir.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::size_t systemArea = 6 * mebibyte;  // signature, table and directory
constexpr std::size_t headerSize = 28;
constexpr std::size_t dataOffset = headerSize + 256;
const std::string fileName = "film.vlm";

bool sameSystemArea(const std::vector<std::uint8_t>& drive, const std::string& bytes) {
    return bytes.compare(0, systemArea, reinterpret_cast<const char*>(drive.data()), systemArea) == 0;
}

bool ripsTo(bool audioOnly) {
    Console::instance().resetProgress();
    FileRipSource source(fileName, audioOnly);
    return source.run();
}

// Both modes write the same audio payloads; every output is a sequence of whole payloads.
void checkRips() {
    const bool audio = ripsTo(true);
    const bool movie = ripsTo(false);
    FuzzCheck::expect(audio == movie, "the two modes of the rip end differently");
    const std::string mpa = FuzzFolder::contents("film.mpa");
    const std::string videoPes = FuzzFolder::contents("film_video.pes");
    const std::string audioPes = FuzzFolder::contents("film_audio.pes");
    FuzzCheck::expect(mpa == audioPes, "audio mode and movie mode write different audio");
    FuzzCheck::expect(mpa.size() % 8192 == 0 && videoPes.size() % 8192 == 0, "an output holds a part of a payload");
}

std::int32_t firstFreeSlot(const std::string& system) {
    for (std::int32_t slot = 0; slot < 4096; ++slot)
        if (FuzzDisks::littleEndian(reinterpret_cast<const std::uint8_t*>(system.data()) + (5 << 20) + 256 * slot) == 0)
            return slot;
    return -1;
}

bool wasFree(const std::string& system, std::int32_t cluster) {
    return FuzzDisks::littleEndian(reinterpret_cast<const std::uint8_t*>(system.data()) + 512 + 4 * cluster) == 0;
}

// Writes go to the table and directory, or to whole clusters that were free before the load.
void checkTransfers(const FuzzRecorder& recorder, std::size_t driveSize, const std::string& before) {
    for (const WatchedPlatform::Transfer& transfer : recorder.fake.transfers()) {
        FuzzCheck::expect(transfer.position + transfer.length <= driveSize, "a transfer reaches past the drive");
        if (!transfer.write || transfer.position + transfer.length <= systemArea) continue;
        const bool wholeCluster = transfer.position % mebibyte == 0 && transfer.length == mebibyte;
        FuzzCheck::expect(wholeCluster && wasFree(before, static_cast<std::int32_t>(transfer.position / mebibyte)),
                          "the load writes over a cluster in use");
    }
}

// The slot holds the file's entry with its new first cluster, its chain the file's data in
// chunks of a cluster, the last one filled up with zeros; nothing else of table and directory
// changed.
void checkLoaded(const std::vector<std::uint8_t>& drive, std::string& before, const std::string& file,
                 std::int32_t slot) {
    const DiskCheck check(drive);
    FuzzCheck::expect(check.chains().count(slot) == 1, "the loaded recording is not in the first free slot");
    const std::vector<std::int32_t>& chain = check.chains().at(slot);
    const std::string data = file.substr(dataOffset);
    FuzzCheck::expect(!chain.empty() && chain.size() == (data.size() + mebibyte - 1) / mebibyte,
                      "the chain does not fit the data");
    for (std::size_t k = 0; k < chain.size(); ++k) {
        std::string chunk = data.substr(k * mebibyte, mebibyte);
        chunk.resize(mebibyte, '\0');
        FuzzCheck::expect(FuzzDisks::bytesOf(drive, std::size_t(chain[k]) * mebibyte, mebibyte) == chunk,
                          "a cluster does not hold the file's data");
    }
    std::string slotBytes = BackupBytes::swappedName(file.substr(headerSize, 256));
    slotBytes.replace(224, 4, BackupBytes::word(static_cast<std::uint32_t>(chain.front())));
    before.replace((5 << 20) + 256 * std::size_t(slot), 256, slotBytes);
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const std::uint32_t next = k + 1 < chain.size() ? static_cast<std::uint32_t>(chain[k + 1]) : 0xFFFFFFFFu;
        before.replace(512 + 4 * std::size_t(chain[k]), 4, BackupBytes::word(next));
    }
    FuzzCheck::expect(sameSystemArea(drive, before), "the load changed more than its slot and chain");
}

void checkLoad(std::vector<std::uint8_t>& drive, const std::string& file) {
    static std::string before;
    before.assign(reinterpret_cast<const char*>(drive.data()), systemArea);
    const std::int32_t slot = firstFreeSlot(before);
    FuzzRecorder recorder(std::move(drive));
    const std::int32_t status = recorder.run({"movie", "load", fileName});
    drive = recorder.takeDrive();
    FuzzCheck::expect(status == 0 || status == 1, "exit status other than 0 or 1");
    checkTransfers(recorder, drive.size(), before);
    const DiskCheck check(drive);
    FuzzCheck::expect(check.problems().empty(), "the disk is damaged after the load");
    FuzzCheck::expect(check.unreachableInUse().empty(), "the load left clusters in use that no slot reaches");
    if (status == 0)
        checkLoaded(drive, before, file, slot);
    else
        FuzzCheck::expect(sameSystemArea(drive, before), "a failed load changed table or directory");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FuzzInput input(FuzzFolder::instance());
    const std::string file(reinterpret_cast<const char*>(data), size);
    TempDir::writeAll(fileName, file);
    checkRips();
    static std::vector<std::uint8_t> drive;
    drive = FuzzDisks::loadDisk();
    checkLoad(drive, file);
    checkLoad(drive, file);
    return 0;
}
