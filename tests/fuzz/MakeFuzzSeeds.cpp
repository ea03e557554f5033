// Writes the seed corpus of the three fuzz targets, made with the tests' own builders:
//   <folder>/backup   backup files: valid ones with records of every kind and a damaged one,
//                     one of two clusters, one with a start offset, and broken ones
//   <folder>/table    disks (as TableInput reads them): chains out of order, a loop, a free
//                     link, chains into reserved clusters and past the drive, shared clusters,
//                     empty and full directories
//   <folder>/command  the command lines of every command, right and wrong
// Usage: MakeFuzzSeeds <folder>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandWords.h"
#include "FuzzDisks.h"
#include "TableInput.h"
#include "support/BackupBytes.h"
#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint32_t mebibyte = 1u << 20;

class SeedFolder {
public:
    SeedFolder(const std::string& root, const std::string& name) : folder(root + "/" + name) {
        std::filesystem::create_directories(folder);
    }
    void put(const std::string& name, const std::string& bytes) const { TempDir::writeAll(folder + "/" + name, bytes); }
    const std::string& path() const { return folder; }

private:
    std::string folder;
};

std::string backup(const std::string& name, std::uint32_t startOffset, std::uint64_t size, const std::string& data) {
    std::string entry = BackupBytes::entry(name, 0x1234, static_cast<std::uint32_t>(size / mebibyte),
                                           static_cast<std::uint32_t>(size % mebibyte));
    entry.replace(228, 4, BackupBytes::word(startOffset));
    return BackupBytes::header() + entry + data;
}

std::string records(std::uint32_t id, unsigned count) {
    RecordStream stream;
    for (unsigned k = 0; k < count; ++k) stream.add(id, RecordStream::payload(k));
    return stream.bytes();
}

void backupSeeds(const SeedFolder& seeds) {
    const std::string everyKind = FuzzDisks::recordsOfEveryKind(3);
    seeds.put("every-kind.vlm", backup("Alle Arten", 0, everyKind.size(), everyKind));
    // Two clusters: a load fills two of the three free clusters and then runs out half way.
    const std::string twoClusters = records(1, 64) + records(2, 66);
    seeds.put("two-clusters.vlm", backup("Zwei Cluster", 0, twoClusters.size(), twoClusters));
    const std::string shifted = std::string(mebibyte + 100, '\x11') + everyKind.substr(0, 5 * 8196);
    seeds.put("start-offset.vlm", backup("Versetzt", 100, shifted.size(), shifted));
    seeds.put("size-beyond-data.vlm", backup("Zu kurz", 0, 0xFFFFFFFFull * mebibyte, everyKind));
    seeds.put("cut-record.vlm", backup("Abgeschnitten", 0, 20000, everyKind.substr(0, 20000)));
    seeds.put("only-damage.vlm", backup("Kaputt", 0, 30000, std::string(30000, '\x07')));
    std::string freeLooking = backup("", 0, everyKind.size(), everyKind);
    seeds.put("entry-reads-free.vlm", freeLooking);
    seeds.put("header-only.vlm", BackupBytes::header());
    seeds.put("entry-cut.vlm", BackupBytes::header() + BackupBytes::entry("Halb", 6, 0, 1).substr(0, 100));
    seeds.put("no-data.vlm", backup("Leer", 0, 0, ""));
    seeds.put("wrong-header.vlm", "velmoran hd V1.02 / vlm 2.0" + std::string(1, '\0') + everyKind);
}

// A formatted disk of TableInput's size with the layout's table and slots and data over chains.
class TableDisk {
public:
    TableDisk() : layout(TableInput::clusterCount), drive(TableInput::formattedDrive()) {}

    RecorderLayout layout;
    std::vector<std::uint8_t> drive;
    std::vector<std::pair<std::vector<std::int32_t>, std::string>> data;
    std::vector<std::pair<std::int32_t, std::vector<std::uint8_t>>> rawSlots;

    void slotWithOffset(std::int32_t slot, const std::string& name, std::int32_t first, std::uint32_t startOffset,
                        std::uint64_t size) {
        rawSlots.push_back({slot, RecorderLayout::slotOnDisk(name, first, startOffset,
                                                             static_cast<std::uint32_t>(size / mebibyte),
                                                             static_cast<std::uint32_t>(size % mebibyte))});
    }
    std::string input(std::int32_t slot, bool fullDirectory = false) {
        layout.copyInto(drive);
        for (const auto& raw : rawSlots)
            std::copy(raw.second.begin(), raw.second.end(),
                      drive.begin() + std::ptrdiff_t(TableInput::slotPosition(raw.first)));
        for (const auto& chainData : data) RecordStream::copyOverChain(drive, chainData.first, chainData.second);
        return TableInput::input(drive, slot, fullDirectory);
    }
};

// Four records of every kind at the start of each cluster, so that the mapped pieces hold them.
std::string streamOver(std::size_t clusters) {
    std::string stream;
    for (std::size_t k = 0; k < clusters; ++k) {
        std::string piece = FuzzDisks::recordsOfEveryKind(unsigned(k)).substr(0, TableInput::dataPiece);
        piece.resize(mebibyte, '\0');
        stream += piece;
    }
    return stream;
}

void tableSeeds(const SeedFolder& seeds) {
    {
        TableDisk disk;
        disk.layout.addChain({8, 6, 10});
        disk.layout.putSlot(0, "Spielfilm", 8, 2, 500000);
        disk.data.push_back({{8, 6, 10}, streamOver(3)});
        disk.layout.addChain({7});
        disk.layout.putSlot(1, "Hoerspiel", 7, 0, 30000);
        disk.data.push_back({{7}, records(2, 4)});
        disk.layout.putSlot(2, "Leer", -1, 0, 0);
        for (std::int32_t slot : {0, 1, 2, 5}) seeds.put("out-of-order-" + std::to_string(slot), disk.input(slot));
        seeds.put("full-directory", disk.input(0, true));
    }
    {
        TableDisk disk;
        disk.layout.addChain({7, 9});
        disk.layout.setEntry(9, 7);
        disk.layout.putSlot(0, "Schleife", 7, 3, 0);
        disk.data.push_back({{7, 9}, streamOver(2)});
        seeds.put("loop", disk.input(0));
    }
    {
        TableDisk disk;
        disk.layout.setEntry(6, 7);  // 7 stays free
        disk.layout.putSlot(0, "Freies Glied", 6, 2, 0);
        disk.data.push_back({{6, 7}, streamOver(2)});
        seeds.put("free-link", disk.input(0));
    }
    {
        TableDisk disk;
        disk.layout.addChain({9, 14});
        disk.layout.putSlot(0, "Hinter dem Ende", 9, 1, 1);
        disk.layout.addChain({11, 3});
        disk.layout.putSlot(1, "Reserviert", 11, 1, 1);
        disk.layout.putSlot(2, "Ganz weit", 0x13FF7F, 0, 100);
        disk.layout.putSlot(3, "Null", 0, 0, 100);
        disk.layout.putSlot(4, "Verzeichnis", 5, 0, 100);
        for (std::int32_t slot : {0, 1, 2, 3, 4}) seeds.put("outside-" + std::to_string(slot), disk.input(slot));
    }
    {
        TableDisk disk;
        disk.layout.addChain({6, 7, 8});
        disk.layout.putSlot(0, "Erster", 6, 2, 1);
        disk.layout.setEntry(9, 7);
        disk.layout.putSlot(1, "Zweiter", 9, 2, 1);
        disk.data.push_back({{6, 7, 8}, streamOver(3)});
        seeds.put("shared-0", disk.input(0));
        seeds.put("shared-1", disk.input(1));
    }
    {
        TableDisk disk;
        disk.layout.addChain({10, 11});
        disk.slotWithOffset(0, "Versetzt", 10, 4100, 2 * mebibyte);
        disk.slotWithOffset(1, std::string(212, 'N'), 10, 0, 0xFFFFFFFFull * mebibyte + 0xFFFFFFFFull);
        disk.data.push_back({{10, 11}, streamOver(2)});
        seeds.put("start-offset", disk.input(0));
        seeds.put("long-name-huge-size", disk.input(1));
    }
    {
        TableDisk disk;
        // The last cluster of the drive ends a chain, so the table does not count it.
        disk.layout.addChain({11});
        disk.layout.putSlot(6, "Oben", 11, 0, 8196 * 3);
        disk.data.push_back({{11}, streamOver(1)});
        seeds.put("top-cluster", disk.input(6));
    }
    TableDisk empty;
    seeds.put("empty-directory", empty.input(0));
}

void commandSeeds(const SeedFolder& seeds) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"list"},
        {"?"},
        {"help"},
        {"movie"},
        {"movie", "save", "0"},
        {"audio", "save", "1"},
        {"movie", "save", "3"},
        {"movie", "save", "-1"},
        {"movie", "save", "abc"},
        {"movie", "delete", "0"},
        {"audio", "delete", "3"},
        {"movie", "load", "film.vlm"},
        {"audio", "load", "kaputt.vlm"},
        {"movie", "load", "fehlt.vlm"},
        {"movie", "rip", "0"},
        {"audio", "rip", "1"},
        {"movie", "rip", "00"},
        {"movie", "rip", "000"},
        {"movie", "rip", "12abc"},
        {"movie", "rip", "film.vlm"},
        {"audio", "rip", "film.VLM"},
        {"audio", "rip", "kaputt.vlm"},
        {"movie", "rip"},
        {"movie", "copy", "3"},
        {"image"},
        {"image", "save"},
        {"image", "load"},
        {"image", "wipe"},
        {"image", "format"},
        {"image", "copy"},
        {"dump"},
        {"dump", "0"},
        {"dump", "5000", "400"},
        {"dump", "1234", "0", "bigendian"},
        {"dump", "0", "200", "littlendian"},
        {"dump", "0x123456789", "201", "Bigendian"},
        {"dump", "BFFE00", "FFFFFFFFF"},
    };
    int number = 0;
    for (const std::vector<std::string>& words : lines)
        seeds.put("line-" + std::to_string(number++), CommandWords::join(words));
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: MakeFuzzSeeds <folder>\n");
        return 1;
    }
    const std::string root = argv[1];
    backupSeeds(SeedFolder(root, "backup"));
    tableSeeds(SeedFolder(root, "table"));
    commandSeeds(SeedFolder(root, "command"));
    return 0;
}
