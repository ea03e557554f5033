#include "FuzzDisks.h"

#include "support/BackupBytes.h"
#include "support/RecordStream.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;

std::vector<std::uint8_t> buildLoadDisk(bool oneFreeCluster) {
    RecorderLayout layout(FuzzDisks::clusterCount);
    layout.addChain({8, 6});
    layout.putSlot(0, "Erste Aufnahme", 8, 1, 4711);
    layout.addChain({11});
    layout.putSlot(2, "Zweite Aufnahme", 11, 0, 99999);
    if (oneFreeCluster) {
        layout.addChain({10, 9});
        layout.putSlot(3, "Dritte Aufnahme", 10, 1, 815);
    }
    std::vector<std::uint8_t> drive = FuzzDisks::signedDrive();
    layout.copyInto(drive);
    RecordStream::copyOverChain(drive, {8, 6}, BackupBytes::cluster(1) + BackupBytes::cluster(2));
    RecordStream::copyOverChain(drive, {11}, BackupBytes::cluster(3));
    if (oneFreeCluster) RecordStream::copyOverChain(drive, {10, 9}, BackupBytes::cluster(4) + BackupBytes::cluster(5));
    return drive;
}

std::vector<std::uint8_t> buildCommandDisk() {
    RecorderLayout layout(FuzzDisks::clusterCount);
    const std::string movie = FuzzDisks::recordsOfEveryKind(1);
    layout.addChain({9, 6});
    layout.putSlot(0, "Tagesschau", 9, static_cast<std::uint32_t>(movie.size() / mebibyte),
                   static_cast<std::uint32_t>(movie.size() % mebibyte));
    RecordStream audio;
    for (unsigned k = 0; k < 20; ++k) audio.add(2, RecordStream::payload(k));
    layout.addChain({8});
    layout.putSlot(1, "Hoerspiel", 8, 0, static_cast<std::uint32_t>(audio.size()));
    layout.putSlot(3, "Leer", -1, 0, 0);
    std::vector<std::uint8_t> drive = FuzzDisks::signedDrive();
    layout.copyInto(drive);
    RecordStream::copyOverChain(drive, {9, 6}, movie);
    RecordStream::copyOverChain(drive, {8}, audio.bytes());
    return drive;
}

std::map<std::string, std::string> buildCommandFiles() {
    const std::string records = FuzzDisks::recordsOfEveryKind(7);
    const std::vector<std::uint8_t>& disk = FuzzDisks::commandDisk();
    return {
        {"film.vlm", BackupBytes::header() + BackupBytes::entry("Film", 0x1234, 0, 20000) + records},
        {"kaputt.vlm", BackupBytes::header() + BackupBytes::entry("Kaputt", 6, 0, 1).substr(0, 100)},
        {"Velmoran.img", std::string(disk.begin(), disk.begin() + mebibyte + 1000)},
    };
}
}  // namespace

std::vector<std::uint8_t> FuzzDisks::signedDrive() {
    std::vector<std::uint8_t> drive(std::size_t{clusterCount} * mebibyte);
    const std::string signature = std::string("velmoran hd V1.02") + '\0';
    std::copy(signature.begin(), signature.end(), drive.begin());
    return drive;
}

const std::vector<std::uint8_t>& FuzzDisks::loadDisk(bool oneFreeCluster) {
    static const std::vector<std::uint8_t> disks[] = {buildLoadDisk(false), buildLoadDisk(true)};
    return disks[oneFreeCluster];
}

const std::vector<std::uint8_t>& FuzzDisks::commandDisk() {
    static const std::vector<std::uint8_t> disk = buildCommandDisk();
    return disk;
}

const std::map<std::string, std::string>& FuzzDisks::commandFiles() {
    static const std::map<std::string, std::string> files = buildCommandFiles();
    return files;
}

std::string FuzzDisks::recordsOfEveryKind(unsigned seed) {
    RecordStream stream;
    const std::uint32_t ids[] = {1, 2, 1, 3, 2, 4, 10, 1, 2};
    for (std::uint32_t id : ids) stream.add(id, RecordStream::payload(seed++));
    // A damaged record: an unknown id, and an audio id 12 bytes into its payload.
    stream.addBytes(BackupBytes::word(77) + std::string(8, '\x5A') + BackupBytes::word(2) +
                    std::string(8196 - 16, '\x5A'));
    for (std::uint32_t id : ids) stream.add(id, RecordStream::payload(seed++));
    return stream.bytes();
}

std::uint32_t FuzzDisks::littleEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

std::string FuzzDisks::bytesOf(const std::vector<std::uint8_t>& drive, std::size_t position, std::size_t length) {
    return std::string(reinterpret_cast<const char*>(drive.data() + position), length);
}
