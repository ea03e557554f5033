#include "app/AllRecordings.h"

#include <vector>

#include "base/Console.h"
#include "base/HostFileName.h"
#include "base/HostFileWriter.h"
#include "base/HostVolume.h"
#include "base/TextFormat.h"
#include "base/TitleFileName.h"
#include "disk/RecorderDisk.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"
#include "fs/Recording.h"
#include "mpeg/ProgramStreamMuxer.h"
#include "rip/DiskRipSource.h"
#include "transfer/BackupFile.h"
#include "transfer/RecordingTransfer.h"

namespace {
// Room for the longest ending a file of a run gets, with its temporary one, so that one title
// is cut the same way in every file of its recording.
constexpr std::size_t longestEnding = sizeof("_video.pes") - 1 + sizeof(HostFileName::stagingSuffix) - 1;

Console& console() { return Console::instance(); }

unsigned long long mebibytesIn(std::uint64_t bytes) {
    return (bytes + RecorderDisk::clusterSize - 1) / RecorderDisk::clusterSize;
}
}  // namespace

AllRecordings::AllRecordings(Directory& directory, Operation operation)
    : directory(directory), operation(operation) {}

AllRecordings::~AllRecordings() = default;

bool AllRecordings::runOne(std::int32_t number, const std::string& baseName) {
    const HostFileName base(baseName, HostFileName::Encoding::utf8, true);
    switch (operation) {
        case Operation::save: {
            Recording recording(directory, number);
            return RecordingTransfer(recording).save(base.withSuffix(".vlm"));
        }
        case Operation::movieRip:
        case Operation::audioRip:
        case Operation::movieExport:
        case Operation::audioExport: {
            const bool audioOnly = operation == Operation::audioRip || operation == Operation::audioExport;
            const bool exported = operation == Operation::movieExport || operation == Operation::audioExport;
            return DiskRipSource(directory, number, audioOnly,
                                 exported ? RipSource::Output::Export : RipSource::Output::ElementaryStreams, base)
                .run();
        }
    }
    return false;
}

std::uint64_t AllRecordings::largestFile(const DirEntry& entry) const {
    // A backup file holds every cluster whole; a rip's output at most every record's payload; an
    // export those payloads in packs, each of which gives some of its bytes to its headers (a
    // full pack's headers and stamps take at most `packHeaders`; a pack cut short in front of a
    // picture may take more, which only a recording at the very limit could meet).
    if (operation == Operation::save)
        return BackupFile::dataOffset + mebibytesIn(entry.sizeBytes()) * RecorderDisk::clusterSize;
    const std::uint64_t payloads = entry.sizeBytes() / RipSource::recordSize * RipSource::payloadSize;
    if (operation == Operation::movieRip || operation == Operation::audioRip) return payloads;
    constexpr std::uint64_t packHeaders = 64;
    return (payloads / (ProgramStreamMuxer::packSize - packHeaders) + 1) * ProgramStreamMuxer::packSize;
}

bool AllRecordings::tooLarge(std::int32_t number, const HostVolume& volume) const {
    const DirEntry& entry = *directory.entryAt(number);
    const std::uint64_t size = largestFile(entry);
    if (size <= volume.largestFile()) return false;
    console().printMessage(2, 853, TextFormat::format("Aufnahme %d \"%s\": eine Datei von bis zu %llu Bytes ist zu "
                                                      "gross fuer dieses Dateisystem (hoechstens %llu Bytes je "
                                                      "Datei), die Aufnahme wird nicht bearbeitet!\n",
                                                      number, entry.shownName().c_str(),
                                                      static_cast<unsigned long long>(size),
                                                      static_cast<unsigned long long>(volume.largestFile()))
                                       .c_str());
    return true;
}

bool AllRecordings::run() {
    std::vector<std::int32_t> numbers;
    std::uint64_t needed = 0;
    for (std::int32_t slot = 0; slot < Directory::entryCount; ++slot) {
        const DirEntry* entry = directory.entryAt(slot);
        if (!entry) continue;
        numbers.push_back(slot);
        needed += largestFile(*entry);
    }
    const HostVolume volume = HostVolume::currentFolder();
    if (needed > volume.freeBytes())
        console().printMessage(1, 852, TextFormat::format("Die Aufnahmen brauchen bis zu %llu MB, hier sind nur %llu "
                                                          "MB frei; es wird trotzdem begonnen!\n",
                                                          mebibytesIn(needed),
                                                          static_cast<unsigned long long>(volume.freeBytes() /
                                                                                          RecorderDisk::clusterSize))
                                           .c_str());
    for (const std::int32_t number : numbers) tooLarge(number, volume);
    HostFileWriter::Tally& tally = HostFileWriter::tally();
    tally = HostFileWriter::Tally();
    int done = 0;
    int failed = 0;
    for (const std::int32_t number : numbers) {
        const DirEntry& entry = *directory.entryAt(number);
        console().resetProgress();
        console().print(TextFormat::format("Aufnahme %d \"%s\" (%d von %d)\n", number, entry.shownName().c_str(),
                                           done + failed + 1, static_cast<int>(numbers.size()))
                            .c_str());
        const std::string baseName =
            TitleFileName::make(DiskRipSource::baseNameFor(number), entry.name(), longestEnding);
        const bool fine = !tooLarge(number, volume) && runOne(number, baseName);
        ++(fine ? done : failed);
        if (!tally.fullFile.empty()) {
            console().printMessage(2, 854, TextFormat::format("Dateisystem voll, der Lauf wird abgebrochen: %s ist "
                                                              "unvollstaendig!\n",
                                                              tally.fullFile.c_str())
                                               .c_str());
            break;
        }
    }
    const int notStarted = static_cast<int>(numbers.size()) - done - failed;
    console().print(TextFormat::format("Fertig: %d Aufnahmen, fehlgeschlagen: %d, nicht begonnen: %d, geschrieben: "
                                       "%llu Bytes\n",
                                       done, failed, notStarted, static_cast<unsigned long long>(tally.bytes))
                        .c_str());
    return failed == 0 && notStarted == 0;
}
