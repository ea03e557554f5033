// Fuzz target: the input is the table, the first directory slots and runs of records in the data
// clusters of a small recorder disk (TableInput says how), on a base whose data clusters are
// zero. recover lists, recover save all writes a backup file per recording found, and recover
// save of the last number writes the same file again while the number after it names nothing.
// None of them writes to the disk. Every file holds the backup header, an entry whose size lies
// within its data, and whole clusters of the disk that no slot's chain reaches (or a MiB of
// zeros first); each rips without a crash.
#include <cstddef>
#include <cstdint>
#include <cstring>
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
#include "support/DiskCheck.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::size_t dataStart = 284;

const std::vector<std::uint8_t>& zeroDataDrive() {
    static const std::vector<std::uint8_t> base = [] {
        std::vector<std::uint8_t> drive = FuzzDisks::signedDrive();
        RecorderLayout(TableInput::clusterCount).copyInto(drive);
        return drive;
    }();
    return base;
}

std::string fileName(std::size_t number) { return "Velmoran_recovered_" + std::to_string(number) + ".vlm"; }

std::int32_t run(FuzzRecorder& recorder, const std::vector<std::string>& words) {
    const std::int32_t status = recorder.run(words);
    FuzzCheck::expect(status == 0 || status == 1, "exit status other than 0 or 1");
    FuzzCheck::expect(!recorder.fake.wroteAnything(), "recover writes to the disk");
    return status;
}

bool isCluster(std::string_view chunk, const std::vector<std::uint8_t>& drive, std::int32_t cluster) {
    return std::memcmp(chunk.data(), drive.data() + std::size_t(cluster) * mebibyte, mebibyte) == 0;
}

// A file written in full (`whole`) holds whole clusters, and its size lies within them.
void checkFile(std::string_view file, const std::vector<std::uint8_t>& drive, const std::set<std::int32_t>& named,
               bool whole) {
    const std::string header = BackupBytes::header();
    FuzzCheck::expect(file.size() >= dataStart && file.substr(0, header.size()) == header, "no backup header");
    const std::string_view data = file.substr(dataStart);
    const auto* entry = reinterpret_cast<const std::uint8_t*>(file.data() + header.size());
    const std::uint64_t size = FuzzDisks::littleEndian(entry + 232) * std::uint64_t{mebibyte} +
                               FuzzDisks::littleEndian(entry + 236);
    FuzzCheck::expect(!whole || (data.size() % mebibyte == 0 && size > 0 && size <= data.size()),
                      "the data are no whole clusters or the size lies outside them");
    static const std::string zeros(mebibyte, '\0');
    for (std::size_t at = 0; at + mebibyte <= data.size(); at += mebibyte) {
        const std::string_view chunk = data.substr(at, mebibyte);
        bool fromDisk = at == 0 && chunk == zeros;
        for (std::int32_t cluster = 6; cluster < TableInput::clusterCount && !fromDisk; ++cluster)
            fromDisk = named.count(cluster) == 0 && isCluster(chunk, drive, cluster);
        FuzzCheck::expect(fromDisk, "a backup file holds a cluster that a slot's chain reaches, or no cluster");
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzDrive drive(zeroDataDrive());
    const FuzzInput input(FuzzFolder::instance());
    TableInput::fill(drive, data, size);
    std::set<std::int32_t> named;
    {
        const DiskCheck check(drive.drive());
        for (const auto& slotChain : check.chains()) named.insert(slotChain.second.begin(), slotChain.second.end());
    }
    FuzzRecorder recorder(std::move(drive.drive()));
    run(recorder, {"recover"});
    const std::int32_t saved = run(recorder, {"recover", "save", "all"});
    std::size_t files = 0;
    while (true) {
        const FileBytes file(fileName(files + 1));
        if (file.size() == 0) break;
        ++files;
        checkFile(file.bytes(), recorder.drive(), named, saved == 0);
        run(recorder, {"movie", "rip", fileName(files)});
    }
    if (files > 0) {
        const FileBytes all(fileName(files));
        FuzzCheck::expect(run(recorder, {"recover", "save", std::to_string(files)}) == saved || saved == 1,
                          "recover save of one number ends otherwise than save all");
        FuzzCheck::expect(FileBytes(fileName(files)).bytes() == all.bytes(), "the numbers of recover differ between runs");
    }
    FuzzCheck::expect(run(recorder, {"recover", "save", std::to_string(files + 1)}) == 1,
                      "recover save writes a recording that the list does not have");
    drive.drive() = recorder.takeDrive();
    drive.reset();
    return 0;
}
