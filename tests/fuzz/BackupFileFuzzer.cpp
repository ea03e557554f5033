// Fuzz target: the input describes a backup file and the disk it goes to (BackupInput says
// how). It is ripped in audio and in movie mode, then loaded onto a small recorder disk with
// three free clusters or with one (where a two-cluster file runs out of space half way). After
// the load the disk must be consistent whatever the load's outcome; a
// load that succeeded must have put the file's entry and data into the first free slot and free
// clusters only, and one that failed must have left the table and the directory as they were.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <string>
#include <vector>

#include "BackupInput.h"
#include "FileBytes.h"
#include "FuzzCheck.h"
#include "FuzzDisks.h"
#include "FuzzDrive.h"
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
    const FileBytes mpa("film.mpa");
    const FileBytes videoPes("film_video.pes");
    const FileBytes audioPes("film_audio.pes");
    FuzzCheck::expect(mpa.bytes() == audioPes.bytes(), "audio mode and movie mode write different audio");
    FuzzCheck::expect(mpa.size() % 8192 == 0 && videoPes.size() % 8192 == 0, "an output holds a part of a payload");
}

std::int32_t firstFreeSlot(const std::vector<std::uint8_t>& drive) {
    for (std::int32_t slot = 0; slot < 4096; ++slot)
        if (FuzzDisks::littleEndian(drive.data() + (5 << 20) + 256 * slot) == 0) return slot;
    return -1;
}

bool wasFree(const std::vector<std::uint8_t>& drive, std::int32_t cluster) {
    return FuzzDisks::littleEndian(drive.data() + 512 + 4 * cluster) == 0;
}

// Writes go to the table and directory, or to whole clusters that were free before the load.
void checkTransfers(const FuzzRecorder& recorder, std::size_t driveSize, const std::vector<std::uint8_t>& before) {
    for (const WatchedPlatform::Transfer& transfer : recorder.fake.transfers()) {
        FuzzCheck::expect(transfer.position + transfer.length <= driveSize, "a transfer reaches past the drive");
        if (!transfer.write || transfer.position + transfer.length <= systemArea) continue;
        const bool wholeCluster = transfer.position % mebibyte == 0 && transfer.length == mebibyte;
        FuzzCheck::expect(wholeCluster && wasFree(before, static_cast<std::int32_t>(transfer.position / mebibyte)),
                          "the load writes over a cluster in use");
    }
}

// The slot holds the file's entry with its new first cluster, its chain the file's data in
// chunks of a cluster, the last one filled up with zeros; the drive expects those changes to
// table and directory, and no others.
void expectLoaded(FuzzDrive& drive, const DiskCheck& check, const std::string& file, std::int32_t slot) {
    FuzzCheck::expect(check.chains().count(slot) == 1, "the loaded recording is not in the first free slot");
    const std::vector<std::int32_t>& chain = check.chains().at(slot);
    const std::size_t dataSize = file.size() - dataOffset;
    FuzzCheck::expect(!chain.empty() && chain.size() == (dataSize + mebibyte - 1) / mebibyte,
                      "the chain does not fit the data");
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const std::uint8_t* cluster = drive.drive().data() + std::size_t(chain[k]) * mebibyte;
        const std::size_t length = std::min(mebibyte, dataSize - k * mebibyte);
        static const std::vector<std::uint8_t> zeros(mebibyte);
        const bool same = std::memcmp(cluster, file.data() + dataOffset + k * mebibyte, length) == 0 &&
                          std::memcmp(cluster + length, zeros.data(), mebibyte - length) == 0;
        FuzzCheck::expect(same, "a cluster does not hold the file's data");
    }
    std::string slotBytes = BackupBytes::swappedName(file.substr(headerSize, 256));
    slotBytes.replace(224, 4, BackupBytes::word(static_cast<std::uint32_t>(chain.front())));
    drive.expect((5 << 20) + 256 * std::size_t(slot), slotBytes);
    for (std::size_t k = 0; k < chain.size(); ++k) {
        const std::uint32_t next = k + 1 < chain.size() ? static_cast<std::uint32_t>(chain[k + 1]) : 0xFFFFFFFFu;
        drive.expect(512 + 4 * std::size_t(chain[k]), BackupBytes::word(next));
    }
}

// A load of the file; the drive expects what the load changed.
void checkLoad(FuzzDrive& drive, const std::string& file) {
    const std::int32_t slot = firstFreeSlot(drive.expectedDrive());
    FuzzRecorder recorder(std::move(drive.drive()));
    const std::int32_t status = recorder.run({"movie", "load", fileName});
    drive.drive() = recorder.takeDrive();
    drive.noteWrites(recorder.fake);
    FuzzCheck::expect(status == 0 || status == 1, "exit status other than 0 or 1");
    checkTransfers(recorder, drive.drive().size(), drive.expectedDrive());
    const DiskCheck check(drive.drive());
    FuzzCheck::expect(check.problems().empty(), "the disk is damaged after the load");
    FuzzCheck::expect(check.unreachableInUse().empty(), "the load left clusters in use that no slot reaches");
    if (status == 0) expectLoaded(drive, check, file, slot);
    FuzzCheck::expect(drive.matches(systemArea), status == 0 ? "the load changed more than its slot and chain"
                                                             : "a failed load changed table or directory");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzDrive drives[] = {FuzzDrive(FuzzDisks::loadDisk(false)), FuzzDrive(FuzzDisks::loadDisk(true))};
    static std::string file;
    const FuzzInput input(FuzzFolder::instance());
    BackupInput::expand(data, size, file);
    TempDir::writeAll(fileName, file);
    checkRips();
    FuzzDrive& drive = drives[BackupInput::toOneFreeCluster(data, size)];
    checkLoad(drive, file);
    drive.reset();
    return 0;
}
