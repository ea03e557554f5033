#include "transfer/RecordingTransfer.h"

#include <cstring>
#include <memory>
#include <vector>

#include "base/Console.h"
#include "base/HostFileReader.h"
#include "base/HostFileWriter.h"
#include "base/TextFormat.h"
#include "base/TransferBuffer.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"
#include "fs/FileSystemCheck.h"
#include "fs/Recording.h"
#include "transfer/BackupFile.h"
#include "transfer/ClusterCopier.h"

namespace {
Console& console() { return Console::instance(); }

void report(int severity, int number, const std::string& text) {
    console().printMessage(severity, number, text.c_str());
}

void reportInvalidContent(const std::string& path) {
    report(2, 8, TextFormat::format("Inhalt der Sicherungsdatei %s ung\xFCltig!\n", path.c_str()));
}

TransferBuffer::Pointer transferBuffer() {
    return TransferBuffer::allocate(RecorderDisk::clusterSize);
}
}  // namespace

RecordingTransfer::RecordingTransfer(Recording& recording) : recording(recording) {}

RecordingTransfer::~RecordingTransfer() = default;

RecorderDisk& RecordingTransfer::disk() const { return recording.directory().recorderDisk(); }

ClusterTable& RecordingTransfer::table() const { return recording.directory().clusterTable(); }

bool RecordingTransfer::save() { return save(BackupFile::nameFor(recording.number())); }

bool RecordingTransfer::save(const HostFileName& file) {
    DirEntry* entry = recording.entry();
    if (!entry) return false;
    HostFileWriter writer(file);
    if (!writer.isOpen()) return false;
    console().print(TextFormat::format("Schreiben des Films \"%s\" in die Sicherungsdatei %s\n",
                                       entry->shownName().c_str(), file.name().c_str())
                        .c_str());
    if (!BackupFile::writeHeader(writer) || !entry->writeTo(writer)) return false;
    ClusterCopier copier(disk(), writer);
    console().startProgress(std::uint64_t{entry->sizeMiB()} + 1);
    // On failure the meter stays open and the writer closes the partial file.
    if (!copyChain(entry->firstCluster(), copier, writer.path())) return false;
    console().finishProgress();
    if (!writer.close()) return false;
    return !copier.hasUnreadable() || copier.reportUnreadable();
}

bool RecordingTransfer::copyChain(std::int32_t first, ClusterCopier& copier, const std::string& fileName) {
    std::int32_t lastValid = -1;
    ChainWalker walk(table(), first);
    for (; !walk.ended(); walk.advance()) {
        if (!copier.copy(walk.current())) return false;
        console().stepProgress();
        lastValid = walk.current();
    }
    if (!copier.finish()) return false;
    if (walk.endedAtDamage()) {
        report(2, 402, walk.breakText() +
                           TextFormat::format(", die Sicherungsdatei %s ist unvollstaendig!\n", fileName.c_str()));
        return false;
    }
    // A chain end read from the disk is the recording's end; a stand-in for an unread entry is not.
    if (lastValid < 0 || table().isEntryRead(lastValid)) return true;
    report(2, 411, TextFormat::format("Eintrag von Cluster %d in der Clustertabelle nicht lesbar, die Sicherungsdatei "
                                      "%s ist moeglicherweise unvollstaendig!\n",
                                      lastValid, fileName.c_str()));
    return false;
}

bool RecordingTransfer::load(const std::string& path) {
    DirEntry* entry = recording.entry();
    if (!entry) return false;
    if (!tableIsWhole()) return false;
    HostFileReader reader(path);
    if (!reader.isOpen()) return false;
    if (!readHeader(reader)) return false;
    // A damaged chain may run through clusters that the table calls free; writing into them
    // would overwrite that recording's data. The walk comes before the free slot takes the
    // file's entry, which names a cluster of another disk.
    table().avoid(FileSystemCheck(recording.directory()).freeClustersInChains());
    TransferBuffer::Pointer buffer = transferBuffer();
    if (!readEntry(reader, *entry)) return false;
    console().startProgress(std::uint64_t{entry->sizeMiB()} + 1);
    console().print(
        TextFormat::format("Laden des Films \"%s\" aus der Sicherungsdatei %s\n", entry->shownName().c_str(), path.c_str())
            .c_str());
    std::int32_t first = -1;
    if (!writeChain(reader, buffer.get(), &first)) {
        entry->forget();
        return false;
    }
    console().finishProgress();
    buffer.reset();
    return commit(*entry, first, path);
}

bool RecordingTransfer::readHeader(HostFileReader& reader) {
    std::uint8_t header[BackupFile::headerSize];
    if (!reader.readExact(header, sizeof header)) return false;
    if (BackupFile::isHeader(header)) return true;
    report(2, 7, TextFormat::format("Datei %s ist keine g\xFCltige Sicherungsdatei!\n", reader.path().c_str()));
    return false;
}

bool RecordingTransfer::readEntry(HostFileReader& reader, DirEntry& entry) {
    // An entry beginning with four zero bytes would read as a free slot afterwards, and its
    // clusters would never be freed.
    if (entry.readFrom(reader) && !DirEntry::isFreeImage(entry.image())) return true;
    entry.forget();
    reportInvalidContent(reader.path());
    return false;
}

bool RecordingTransfer::writeChain(HostFileReader& reader, std::uint8_t* buffer, std::int32_t* first) {
    RecorderDisk& recorderDisk = disk();
    ClusterTable& clusters = table();
    std::int32_t previous = -1;
    for (;;) {
        const std::size_t count = reader.readSome(buffer, RecorderDisk::clusterSize);
        // A read error is no end of the file: what follows it would be missing from the recording.
        if (reader.lastReadFailed())
            return abandonChain(413, TextFormat::format("Lesen der Sicherungsdatei fehlgeschlagen, die "
                                                        "Sicherungsdatei %s wurde nicht geladen!\n",
                                                        reader.path().c_str()),
                                *first);
        if (count == 0) break;
        // A last, shorter chunk fills its cluster with zeros, not with the chunk before it.
        std::memset(buffer + count, 0, RecorderDisk::clusterSize - count);
        const std::int32_t cluster = previous < 0 ? clusters.allocate() : clusters.allocateAfter(previous);
        if (cluster < 0)
            return abandonChain(405, TextFormat::format("Kein freier Cluster mehr auf der Festplatte, die "
                                                        "Sicherungsdatei %s wurde nicht geladen!\n",
                                                        reader.path().c_str()),
                                *first);
        if (previous < 0) *first = cluster;
        if (!recorderDisk.writeCluster(buffer, cluster, false))
            return abandonChain(406, TextFormat::format("Schreiben von Cluster %d auf die Festplatte fehlgeschlagen, "
                                                        "die Sicherungsdatei %s wurde nicht geladen!\n",
                                                        cluster, reader.path().c_str()),
                                *first);
        console().stepProgress();
        previous = cluster;
    }
    if (*first >= 0) return true;
    reportInvalidContent(reader.path());
    return false;
}

bool RecordingTransfer::abandonChain(int number, const std::string& text, std::int32_t first) {
    report(2, number, text);
    table().giveBack(first);
    return false;
}

bool RecordingTransfer::commit(DirEntry& entry, std::int32_t first, const std::string& path) {
    ClusterTable& clusters = table();
    entry.setFirstCluster(first);
    if (!clusters.writeBack()) {
        report(2, 407, TextFormat::format("Schreiben der Clustertabelle auf die Festplatte fehlgeschlagen, die "
                                          "Sicherungsdatei %s wurde nicht geladen!\n",
                                          path.c_str()));
        clusters.giveBack(first);
        entry.forget();
        return false;
    }
    // The table already holds the clusters: should the slot not be written, they stay
    // allocated without an entry, which loses space but nothing else.
    if (!entry.writeBack()) {
        report(2, 408, TextFormat::format("Schreiben des Verzeichniseintrags %d auf die Festplatte fehlgeschlagen, "
                                          "die Sicherungsdatei %s wurde nicht geladen!\n",
                                          entry.index(), path.c_str()));
        entry.forget();
        return false;
    }
    return true;
}

bool RecordingTransfer::tableIsWhole() {
    if (table().isReadWhole()) return true;
    report(2, 404,
           "Clustertabelle (Cluster 0 bis 4) konnte nicht vollstaendig gelesen werden, die Festplatte bleibt "
           "unveraendert!\n");
    return false;
}

bool RecordingTransfer::erase() {
    DirEntry* entry = recording.entry();
    if (!entry) return false;
    console().print(TextFormat::format("Loeschen des Films \"%s\"\n", entry->shownName().c_str()).c_str());
    if (!tableIsWhole()) return false;
    const std::int32_t first = entry->firstCluster();
    // On a damaged disk two chains can run into each other; what the other recordings still
    // use is not freed with this one.
    const std::vector<bool> others = recording.directory().clustersOfOtherRecordings(*entry);
    std::int32_t shared = 0;
    ChainWalker walk(table(), first);
    for (; !walk.ended(); walk.advance()) shared += others[static_cast<std::size_t>(walk.current())] ? 1 : 0;
    if (walk.endedAtDamage()) report(1, 403, walk.breakText() + ", nur der gueltige Teil wird freigegeben!\n");
    if (shared > 0)
        report(1, 412, TextFormat::format("%d Cluster der Aufnahme gehoeren auch zu anderen Aufnahmen und bleiben "
                                          "belegt!\n",
                                          shared));
    if (!entry->clear()) {
        report(2, 409, TextFormat::format("Loeschen des Verzeichniseintrags %d auf der Festplatte fehlgeschlagen!\n",
                                          entry->index()));
        return false;
    }
    if (!table().freeChain(first, &others)) {
        report(2, 410,
               "Schreiben der Clustertabelle auf die Festplatte fehlgeschlagen, die Cluster der Aufnahme bleiben "
               "belegt!\n");
        return false;
    }
    return true;
}
