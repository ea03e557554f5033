#include "recover/RecoverCommand.h"

#include <cinttypes>

#include "base/Console.h"
#include "base/HostFileWriter.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"
#include "fs/FileSystemCheck.h"
#include "transfer/BackupFile.h"
#include "transfer/ClusterCopier.h"

namespace {
Console& console() { return Console::instance(); }

std::uint64_t mebibytes(std::uint64_t bytes) { return bytes / RecorderDisk::clusterSize; }

std::string nameOf(const FoundRecording& found) {
    if (!found.slotName.empty()) return found.slotName;
    return TextFormat::format("Wiederhergestellt %d", found.firstCluster());
}

const char* howFound(const FoundRecording& found) {
    if (found.origin == FoundRecording::Origin::LostChain) return "verlorene Kette in der Clustertabelle";
    return found.joinGuessed ? "freie Cluster, Reihenfolge geschaetzt" : "freie Cluster";
}
}  // namespace

RecoverCommand::RecoverCommand(Directory& directory) : directory(directory), recordingSearch(directory) {}

RecoverCommand::~RecoverCommand() = default;

std::string RecoverCommand::fileNameFor(std::int32_t number) {
    return "Velmoran_recovered_" + std::to_string(number) + ".vlm";
}

void RecoverCommand::search() { recordingSearch.run(); }

bool RecoverCommand::list() {
    search();
    std::int32_t number = 0;
    for (const FoundRecording& found : recordingSearch.found()) {
        console().print(TextFormat::format("%02d %-30s %4" PRIu64 " MB  ab Cluster %d, %d Cluster, %s, %s\n", ++number,
                                           TextFormat::printable(nameOf(found)).c_str(), mebibytes(found.sizeBytes),
                                           found.firstCluster(), static_cast<int>(found.clusters.size()),
                                           found.holdsVideo ? "Film" : "Audio", howFound(found))
                            .c_str());
    }
    printFindings();
    return true;
}

void RecoverCommand::printFindings() const {
    const std::vector<std::int32_t>& unreadable = recordingSearch.unreadableClusters();
    if (!unreadable.empty())
        console().printMessage(1, 901,
                               TextFormat::format("%d freie Cluster nicht lesbar und nicht durchsucht: %s\n",
                                                  static_cast<int>(unreadable.size()),
                                                  FileSystemCheck::rangesText(unreadable).c_str())
                                   .c_str());
    if (!directory.clusterTable().isReadWhole())
        console().printMessage(1, 904,
                               "Clustertabelle nicht vollstaendig lesbar, Cluster mit unlesbaren Eintraegen nicht "
                               "durchsucht\n");
    if (recordingSearch.unreadSlotCount() > 0)
        console().printMessage(1, 902,
                               TextFormat::format("Verzeichnis: %d Eintraege nicht lesbar, Gefundenes kann zu "
                                                  "ihnen gehoeren\n",
                                                  static_cast<int>(recordingSearch.unreadSlotCount()))
                                   .c_str());
    std::uint64_t bytes = 0;
    for (const FoundRecording& found : recordingSearch.found()) bytes += found.sizeBytes;
    console().print(TextFormat::format("-- %d Aufnahmen mit %" PRIu64 " MB gefunden, %d Cluster untersucht\n",
                                       static_cast<int>(recordingSearch.found().size()), mebibytes(bytes),
                                       recordingSearch.examinedClusters())
                        .c_str());
}

bool RecoverCommand::save(std::int32_t number) {
    search();
    printFindings();
    const std::vector<FoundRecording>& found = recordingSearch.found();
    if (number < 1 || static_cast<std::size_t>(number) > found.size()) {
        console().printMessage(2, 903,
                               TextFormat::format("Wiederherstellbare Aufnahme %d nicht vorhanden!\n", number).c_str());
        return false;
    }
    return write(found[static_cast<std::size_t>(number - 1)], number);
}

bool RecoverCommand::saveAll() {
    search();
    printFindings();
    bool written = true;
    std::int32_t number = 0;
    for (const FoundRecording& found : recordingSearch.found()) written = write(found, ++number) && written;
    return written;
}

bool RecoverCommand::write(const FoundRecording& found, std::int32_t number) {
    const std::string fileName = fileNameFor(number);
    HostFileWriter writer(fileName);
    if (!writer.isOpen()) return false;
    const DirEntry entry(nameOf(found), found.firstCluster(), found.startOffset, found.sizeBytes);
    console().print(TextFormat::format("Schreiben der wiederhergestellten Aufnahme %02d \"%s\" in die "
                                       "Sicherungsdatei %s\n",
                                       number, entry.shownName().c_str(), fileName.c_str())
                        .c_str());
    if (!BackupFile::writeHeader(writer) || !entry.writeTo(writer)) return false;
    ClusterCopier copier(directory.recorderDisk(), writer);
    console().resetProgress();
    console().startProgress(found.fileClusters());
    // On failure the meter stays open and the writer closes the partial file.
    if (!copyClusters(found, copier)) return false;
    console().finishProgress();
    if (!writer.close()) return false;
    return !copier.hasUnreadable() || copier.reportUnreadable();
}

bool RecoverCommand::copyClusters(const FoundRecording& found, ClusterCopier& copier) {
    if (found.zerosFirst) {
        if (!copier.copyZeros()) return false;
        console().stepProgress();
    }
    for (const std::int32_t cluster : found.clusters) {
        if (!copier.copy(cluster)) return false;
        console().stepProgress();
    }
    return copier.finish();
}
