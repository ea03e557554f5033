#include "maint/DiskMaintenance.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <memory>

#include "base/Console.h"
#include "base/HostFileReader.h"
#include "base/HostFileWriter.h"
#include "base/TextFormat.h"
#include "base/TransferBuffer.h"
#include "disk/RecorderDisk.h"
#include "disk/RescueMap.h"
#include "fs/ClusterTable.h"

namespace {
constexpr std::uint32_t clusterSize = RecorderDisk::clusterSize;
constexpr std::uint32_t sectorSize = RecorderDisk::sectorSize;
constexpr std::uint64_t directoryPosition = std::uint64_t{clusterSize} * ClusterTable::directoryCluster;
// Unreadable parts of the disk named one by one after an image save; the rest are counted.
constexpr std::size_t shownUnreadableSpans = 10;

Console& console() { return Console::instance(); }

TransferBuffer::Pointer newChunkBuffer() {
    return TransferBuffer::allocate(clusterSize);
}

TransferBuffer::Pointer zeroedChunkBuffer() {
    TransferBuffer::Pointer chunk = newChunkBuffer();
    std::memset(chunk.get(), 0, clusterSize);
    return chunk;
}
}  // namespace

const char DiskMaintenance::imageFileName[] = "Velmoran.img";

DiskMaintenance::DiskMaintenance(RecorderDisk& disk, ClusterTable& table) : disk(disk), table(table) {}

DiskMaintenance::~DiskMaintenance() = default;

std::uint64_t DiskMaintenance::meterTotal() {
    table.load();
    return static_cast<std::uint64_t>(std::max(table.dataClusterCount(), 0));
}

bool DiskMaintenance::saveImage() {
    HostFileWriter image(imageFileName);
    if (!image.isOpen()) return false;
    TransferBuffer::Pointer buffer = newChunkBuffer();
    std::vector<std::uint64_t> unreadable;
    std::uint64_t saved = 0;
    // 0 where the length is unknown: the image then ends at the first chunk not read whole.
    std::uint64_t driveEnd = 0;
    if (!disk.driveLength(&driveEnd)) driveEnd = 0;
    for (std::uint32_t count = disk.readFromStart(buffer.get(), clusterSize);;
         count = disk.readNext(buffer.get(), clusterSize)) {
        // A read that fails before the drive's end is no end of the image.
        if (count < clusterSize && saved < driveEnd) {
            const auto chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(clusterSize, driveEnd - saved));
            count = disk.readRestAround(buffer.get(), saved, chunk, count, &unreadable);
        }
        if (count == 0) break;
        if (!image.write(buffer.get(), count)) return false;
        saved += count;
        if (count < clusterSize) break;
    }
    buffer.reset();
    if (!image.close()) return false;
    return unreadable.empty() || reportUnreadable(unreadable, saved);
}

bool DiskMaintenance::reportUnreadable(const std::vector<std::uint64_t>& unreadable, std::uint64_t imageSize) {
    RescueMap map;
    for (const std::uint64_t position : unreadable) map.addUnreadable(position);
    const std::string mapName = std::string(imageFileName) + ".map";
    const std::vector<RescueMap::Span>& spans = map.unreadableSpans();
    for (std::size_t k = 0; k < spans.size() && k < shownUnreadableSpans; ++k)
        console().printMessage(1, 608, TextFormat::format("%" PRIu64 " Sektor(en) ab Byte %" PRIu64
                                                          " nicht lesbar, im Image mit Nullen gefuellt!\n",
                                                          spans[k].size / sectorSize, spans[k].position)
                                           .c_str());
    if (spans.size() > shownUnreadableSpans)
        console().print(TextFormat::format("... und %llu weitere Bereiche\n",
                                           static_cast<unsigned long long>(spans.size() - shownUnreadableSpans))
                            .c_str());
    console().printMessage(1, 609, TextFormat::format("%" PRIu64 " Sektor(en) der Festplatte nicht lesbar, ihre Liste "
                                                      "steht in %s!\n",
                                                      map.unreadableSectors(), mapName.c_str())
                                       .c_str());
    map.writeTo(mapName, imageSize);
    return false;
}

bool DiskMaintenance::loadImage() {
    const std::uint64_t total = meterTotal();
    HostFileReader image(imageFileName);
    if (!image.isOpen()) return false;
    console().print("Laden des Image\n");
    console().startProgress(total);
    std::uint64_t loaded = 0;
    bool directoryCleared = false;
    const LoadEnd end = copyImageToDisk(image, &loaded, &directoryCleared);
    console().finishProgress();
    reportLoadEnd(end, loaded, directoryCleared);
    return end == LoadEnd::ImageEnd;
}

void DiskMaintenance::reportLoadEnd(LoadEnd end, std::uint64_t loaded, bool directoryCleared) {
    switch (end) {
    case LoadEnd::ImageEnd:
        return;
    case LoadEnd::DirectoryNotCleared:
        console().printMessage(1, 606, "Schreiben auf die Festplatte in Cluster 5 fehlgeschlagen, das Image wurde "
                                       "nicht geladen!\n");
        return;
    case LoadEnd::DirectoryNotWritten:
        console().printMessage(1, 607, "Schreiben des Inhaltsverzeichnisses (Cluster 5) fehlgeschlagen, das Image ist "
                                       "ohne Inhaltsverzeichnis geladen!\n");
        return;
    case LoadEnd::DiskWriteError:
        console().printMessage(1, 601, TextFormat::format("Schreiben auf die Festplatte bei Byte %" PRIu64
                                                          " fehlgeschlagen, das Image ist nur bis dorthin geladen!\n",
                                                          loaded)
                                           .c_str());
        break;
    case LoadEnd::ImageReadError:
        console().printMessage(0, 602, TextFormat::format("Fehler beim Lesen der Datei %s bei Byte %" PRIu64
                                                          ", das Image ist nur bis dorthin geladen!\n",
                                                          imageFileName, loaded)
                                           .c_str());
        break;
    }
    if (directoryCleared) console().print("Das Inhaltsverzeichnis (Cluster 5) ist leer!\n");
}

DiskMaintenance::LoadEnd DiskMaintenance::copyImageToDisk(HostFileReader& image, std::uint64_t* loaded,
                                                           bool* directoryCleared) {
    if (!disk.rewind()) return LoadEnd::DiskWriteError;
    TransferBuffer::Pointer buffer = newChunkBuffer();
    // Zeros until the image's directory cluster comes; then that cluster, held back.
    TransferBuffer::Pointer directory = zeroedChunkBuffer();
    bool directoryHeld = false;
    for (;;) {
        const std::size_t count = image.readSome(buffer.get(), clusterSize);
        // An image that ends in front of the directory cluster carries no directory: the disk's
        // stays as it is.
        if (count > 0 && *loaded == 0 && image.reaches(directoryPosition)) {
            if (!clearDirectory(directory.get()) || !disk.rewind()) return LoadEnd::DirectoryNotCleared;
            *directoryCleared = true;
        }
        if (count > 0 && *loaded == directoryPosition) {
            // Zeros keep the directory's place; the image's directory comes last.
            std::swap(buffer, directory);
            std::memset(directory.get() + count, 0, clusterSize - count);
            directoryHeld = true;
        }
        const bool written = count == 0 || writeImageChunk(buffer.get(), count, *loaded);
        if (written) *loaded += count;
        console().stepProgress();
        if (!written) return LoadEnd::DiskWriteError;
        if (image.lastReadFailed()) return LoadEnd::ImageReadError;
        if (count == 0) break;
    }
    if (directoryHeld && !disk.writeCluster(directory.get(), ClusterTable::directoryCluster, false))
        return LoadEnd::DirectoryNotWritten;
    return LoadEnd::ImageEnd;
}

bool DiskMaintenance::clearDirectory(std::uint8_t* zeros) {
    return disk.writeCluster(zeros, ClusterTable::directoryCluster, false);
}

bool DiskMaintenance::writeImageChunk(const std::uint8_t* chunk, std::size_t length, std::uint64_t loaded) {
    // Only the last chunk of a file can end inside a sector; nothing can be placed behind it.
    if (loaded % sectorSize != 0) return false;
    const std::size_t whole = length - length % sectorSize;
    if (whole > 0 && !disk.writeNext(chunk, static_cast<std::uint32_t>(whole))) return false;
    return whole == length || writePartialSector(chunk + whole, length - whole, loaded + whole);
}

bool DiskMaintenance::writePartialSector(const std::uint8_t* bytes, std::size_t length, std::uint64_t position) {
    // A drive takes whole sectors only; the rest of this one keeps what the disk holds.
    std::uint8_t sector[sectorSize];
    if (!disk.readSector(sector, position, false)) return false;
    std::memcpy(sector, bytes, length);
    return disk.writeSector(sector, position, false);
}

std::uint64_t DiskMaintenance::wipeDisk(std::uint8_t* zeros) {
    const std::uint64_t total = meterTotal();
    std::memcpy(zeros, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
    bool written = disk.rewind() && disk.writeNext(zeros, clusterSize);
    std::memset(zeros, 0, RecorderDisk::signatureSize);
    std::uint64_t writes = 1;
    console().startProgress(total);
    while (written) {
        console().stepProgress();
        written = disk.writeNext(zeros, clusterSize);
        ++writes;
    }
    console().finishProgress();
    return writes;
}

bool DiskMaintenance::wipeReachedDiskEnd(std::uint64_t writes, std::uint8_t* scratch) {
    const std::uint64_t failedCluster = writes - 1;
    // A disk ends after its directory cluster, and the cluster at its end cannot be read whole
    // either: a failed write in one that can was a write error.
    bool atDiskEnd = failedCluster > static_cast<std::uint64_t>(ClusterTable::directoryCluster);
    if (atDiskEnd && failedCluster <= static_cast<std::uint64_t>(INT32_MAX))
        atDiskEnd = disk.readCluster(scratch, static_cast<std::int32_t>(failedCluster), false) != clusterSize;
    if (atDiskEnd) return true;
    console().printMessage(1, 603, TextFormat::format("Schreiben auf die Festplatte in Cluster %" PRIu64
                                                      " fehlgeschlagen!\n",
                                                      failedCluster)
                                       .c_str());
    return false;
}

bool DiskMaintenance::wipeCommand() {
    if (!disk.isFound()) return false;
    return wipeToDiskEnd();
}

bool DiskMaintenance::wipeToDiskEnd() {
    // One chunk of zeros for the directory, the wipe and the look at where it stopped.
    TransferBuffer::Pointer chunk = zeroedChunkBuffer();
    if (!clearDirectoryFirst(chunk.get())) return false;
    const std::uint64_t writes = wipeDisk(chunk.get());
    return wipeReachedDiskEnd(writes, chunk.get());
}

bool DiskMaintenance::clearDirectoryFirst(std::uint8_t* zeros) {
    if (clearDirectory(zeros)) return true;
    console().printMessage(1, 603, TextFormat::format("Schreiben auf die Festplatte in Cluster %d fehlgeschlagen!\n",
                                                      ClusterTable::directoryCluster)
                                       .c_str());
    return false;
}

bool DiskMaintenance::formatCommand() {
    if (!disk.isFound()) return false;
    table.load();
    // The new table goes back with the signature sector read at load; one that was never
    // read must not replace the disk's own.
    if (!table.isReadWhole()) {
        console().printMessage(1, 604, "Belegungstabelle (Cluster 0 bis 4) nicht vollstaendig lesbar, "
                                       "keine Formatierung!\n");
        return false;
    }
    // No table after a failed wipe: the disk stays as the wipe left it, its directory empty.
    if (!wipeToDiskEnd()) return false;
    if (table.buildForFormat()) return true;
    console().printMessage(1, 605, "Schreiben der Belegungstabelle (Cluster 0 bis 4) fehlgeschlagen!\n");
    return false;
}
