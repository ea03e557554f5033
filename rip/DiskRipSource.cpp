#include "rip/DiskRipSource.h"

#include "base/Console.h"
#include "base/HostFileName.h"
#include "base/TextFormat.h"
#include "fs/DirEntry.h"

DiskRipSource::DiskRipSource(Directory& directory, std::int32_t number, bool audioOnly, Output output)
    : DiskRipSource(directory, number, audioOnly, output, baseNameFor(number)) {}

DiskRipSource::DiskRipSource(Directory& directory, std::int32_t number, bool audioOnly, Output output,
                             const HostFileName& baseName)
    : RipSource(audioOnly, output), recording(directory, number) {
    if (recording.entry()) openOutputs(baseName);
}

DiskRipSource::~DiskRipSource() = default;

std::string DiskRipSource::baseNameFor(std::int32_t number) { return TextFormat::format("Velmoran_%d", number); }

bool DiskRipSource::isReady() const { return outputsReady() && recording.entry() != nullptr; }

bool DiskRipSource::openSource() {
    const DirEntry* entry = recording.entry();
    if (!entry) return false;
    useEntry(*entry);
    if (!recording.startReading()) return false;
    Console::instance().print(
        TextFormat::format("%s der Aufnahme %d \"%s\"\n", verb(), recording.number(), entry->shownName().c_str()).c_str());
    return true;
}

std::uint32_t DiskRipSource::readStream(void* buffer, std::uint32_t count) { return recording.readBytes(buffer, count); }

// A record within one cluster is handled where it lies in the cluster buffer: no copy.
const std::uint8_t* DiskRipSource::nextRecord(std::uint8_t* spare) { return recording.viewBytes(spare, recordSize); }

bool DiskRipSource::zeroedWithin(std::uint64_t position, std::uint32_t length) const {
    return recording.zeroedWithin(position, length);
}

bool DiskRipSource::streamFailed() const { return recording.readFailed(); }

bool DiskRipSource::streamWhole() {
    const std::vector<std::int64_t>& clusters = recording.clustersWithUnreadableSectors();
    if (clusters.empty()) return true;
    Console::instance().printMessage(0, 105, TextFormat::format("Unlesbare Sektoren in Cluster %s durch Nullen "
                                                                "ersetzt, die Ausgabedateien sind unvollstaendig!\n",
                                                                TextFormat::numberList(clusters).c_str())
                                                 .c_str());
    return false;
}
