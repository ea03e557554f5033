// Writes the seed corpus of the four fuzz targets, made with the tests' own builders:
//   <folder>/backup   backup files (as BackupInput reads them): valid ones with records of every
//                     kind and a damaged one, one of two clusters, one with a start offset,
//                     records cut short, and broken ones
//   <folder>/table    disks (as TableInput reads them): chains out of order, a loop, a free
//                     link, chains into reserved clusters and past the drive, shared clusters,
//                     empty and crowded directories
//   <folder>/command  the command lines of every command, right and wrong
//   <folder>/recover  disks (as TableInput reads them) with deleted recordings, a lost chain, a
//                     slot that names a freed cluster
// Usage: MakeFuzzSeeds <folder>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CommandWords.h"
#include "FuzzDisks.h"
#include "StreamInput.h"
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

// A backup file as BackupInput describes it: the right header, a whole entry and a size that
// fits the stream, unless a seed says otherwise.
struct BackupSeed {
    std::string items;
    std::string name = "Film";
    std::uint8_t header = 0;
    std::uint8_t entryEnd = 127;  // the whole entry, the disk with three free clusters
    std::uint8_t nameLength = 8;
    std::uint32_t startOffset = 0;
    std::string size = std::string(9, '\0');  // byte 11 and bytes 12-19

    std::string bytes() const {
        std::string input{static_cast<char>(header), static_cast<char>(entryEnd)};
        input += name.substr(0, 4) + std::string(4 - std::min<std::size_t>(name.size(), 4), '\0');
        input += static_cast<char>(nameLength);
        input += BackupBytes::word(startOffset) + size + BackupBytes::word(0x1234);
        return input + items;
    }
};

std::string rawSize(std::uint32_t sizeMiB, std::uint32_t remainder) {
    return "\x01" + BackupBytes::word(sizeMiB) + BackupBytes::word(remainder);
}

// Kinds of StreamInput items.
constexpr std::uint8_t video = 0, audio = 1, skipped = 2, otherSkipped = 3, lastSkipped = 4, damaged = 6, raw = 7;

// The records of FuzzDisks::recordsOfEveryKind: every kind, a damaged record with an audio id
// 12 bytes into it, every kind again.
std::string everyKindItems() {
    const std::string kinds = StreamInput::item(video, 1) + StreamInput::item(audio, 1) + StreamInput::item(video, 1) +
                              StreamInput::item(skipped, 1) + StreamInput::item(audio, 1) +
                              StreamInput::item(otherSkipped, 1) + StreamInput::item(lastSkipped, 1) +
                              StreamInput::item(video, 1) + StreamInput::item(audio, 1);
    return kinds + StreamInput::item(damaged, 1, 0, 1 | 2 << 3) + kinds;
}

void backupSeeds(const SeedFolder& seeds) {
    const std::string everyKind = everyKindItems();
    const auto put = [&seeds](const std::string& name, const BackupSeed& seed) { seeds.put(name, seed.bytes()); };
    put("every-kind", {everyKind});
    // Two clusters: a load fills two of the three free clusters, or runs out half way on the
    // disk with one.
    const std::string twoClusters = StreamInput::item(video, 64) + StreamInput::item(audio, 66);
    put("two-clusters", {twoClusters});
    BackupSeed outOfSpace{twoClusters};
    outOfSpace.entryEnd = 128;
    put("two-clusters-one-free", outOfSpace);
    BackupSeed shifted{StreamInput::item(skipped, 128) + everyKind};
    shifted.startOffset = 100;
    put("start-offset", shifted);
    BackupSeed beyond{everyKind};
    beyond.size = rawSize(0xFFFFFFFFu, 0);
    put("size-beyond-data", beyond);
    put("cut-record", {StreamInput::item(video, 3, 255) + StreamInput::item(audio, 2)});
    put("four-bytes-short", {StreamInput::item(audio, 2, 6) + StreamInput::item(audio, 4)});
    put("off-by-two", {StreamInput::item(audio, 2) + StreamInput::item(raw, 2, 0, 0x5A) + StreamInput::item(audio, 3)});
    put("only-damage", {StreamInput::item(damaged, 4)});
    BackupSeed freeLooking{everyKind};
    freeLooking.name = std::string(4, '\0');
    put("entry-reads-free", freeLooking);
    BackupSeed longName{everyKind};
    longName.nameLength = 212;
    put("long-name", longName);
    BackupSeed headerOnly;
    headerOnly.entryEnd = 0;
    put("header-only", headerOnly);
    BackupSeed entryCut{everyKind};
    entryCut.entryEnd = 25;
    put("entry-cut", entryCut);
    put("no-data", {});
    BackupSeed wrongHeader{everyKind};
    wrongHeader.header = 128 + 22;
    put("wrong-header", wrongHeader);
    BackupSeed cutHeader{everyKind};
    cutHeader.header = 156 + 20;
    put("cut-header", cutHeader);
}

// A formatted disk of TableInput's size with the layout's table and slots, and runs of records.
class TableDisk {
public:
    TableDisk() : layout(TableInput::clusterCount), drive(TableInput::formattedDrive()) {}

    RecorderLayout layout;
    std::vector<std::uint8_t> drive;
    std::string runs;
    std::vector<std::pair<std::int32_t, std::vector<std::uint8_t>>> rawSlots;

    void slotWithOffset(std::int32_t slot, const std::string& name, std::int32_t first, std::uint32_t startOffset,
                        std::uint64_t size) {
        rawSlots.push_back({slot, RecorderLayout::slotOnDisk(name, first, startOffset,
                                                             static_cast<std::uint32_t>(size / mebibyte),
                                                             static_cast<std::uint32_t>(size % mebibyte))});
    }
    // Records of every kind, a damaged one among them, at the start of each of the clusters.
    void recordsIn(const std::vector<std::int32_t>& clusters) {
        for (std::int32_t cluster : clusters)
            for (std::size_t at = 0; at < everyKindItems().size(); at += StreamInput::itemSize)
                runs += static_cast<char>(cluster - 6) + everyKindItems().substr(at, StreamInput::itemSize);
    }
    std::string input(std::int32_t slot, bool crowdedDirectory = false) {
        layout.copyInto(drive);
        for (const auto& raw : rawSlots)
            std::copy(raw.second.begin(), raw.second.end(),
                      drive.begin() + std::ptrdiff_t(TableInput::slotPosition(raw.first)));
        return TableInput::input(drive, slot, crowdedDirectory, runs);
    }
};

void tableSeeds(const SeedFolder& seeds) {
    {
        TableDisk disk;
        disk.layout.addChain({8, 6, 10});
        disk.layout.putSlot(0, "Spielfilm", 8, 2, 500000);
        disk.recordsIn({8, 6, 10});
        disk.layout.addChain({7});
        disk.layout.putSlot(1, "Hoerspiel", 7, 0, 30000);
        disk.runs += '\x01' + StreamInput::item(audio, 4);
        disk.layout.putSlot(2, "Leer", -1, 0, 0);
        for (std::int32_t slot : {0, 1, 2, 5}) seeds.put("out-of-order-" + std::to_string(slot), disk.input(slot));
        seeds.put("crowded-directory", disk.input(0, true));
    }
    {
        TableDisk disk;
        disk.layout.addChain({7, 9});
        disk.layout.setEntry(9, 7);
        disk.layout.putSlot(0, "Schleife", 7, 3, 0);
        disk.recordsIn({7, 9});
        seeds.put("loop", disk.input(0));
    }
    {
        TableDisk disk;
        disk.layout.setEntry(6, 7);  // 7 stays free
        disk.layout.putSlot(0, "Freies Glied", 6, 2, 0);
        disk.recordsIn({6, 7});
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
        disk.recordsIn({6, 7, 8});
        seeds.put("shared-0", disk.input(0));
        seeds.put("shared-1", disk.input(1));
    }
    {
        TableDisk disk;
        disk.layout.addChain({10, 11});
        disk.slotWithOffset(0, "Versetzt", 10, 4100, 2 * mebibyte);
        disk.slotWithOffset(1, std::string(212, 'N'), 10, 0, 0xFFFFFFFFull * mebibyte + 0xFFFFFFFFull);
        disk.recordsIn({10, 11});
        seeds.put("start-offset", disk.input(0));
        seeds.put("long-name-huge-size", disk.input(1));
    }
    {
        TableDisk disk;
        // The last cluster of the drive ends a chain, so the table does not count it.
        disk.layout.addChain({11});
        disk.layout.putSlot(6, "Oben", 11, 0, 8196 * 3);
        disk.recordsIn({11});
        seeds.put("top-cluster", disk.input(6));
    }
    TableDisk empty;
    seeds.put("empty-directory", empty.input(0));
}

// Disks for recover: records in free clusters (a deleted recording, two that could go on in one
// cluster), a lost chain, a slot that still names its freed first cluster.
void recoverSeeds(const SeedFolder& seeds) {
    // A cluster's worth of records at the phase of the cluster at chain index `index`.
    const auto stream = [](std::int32_t cluster, unsigned index, std::uint8_t kind) {
        std::string runs;
        for (unsigned k = 0; k < index; ++k)
            runs += static_cast<char>(cluster - 6) + StreamInput::item(raw, 256, 0, 0x55) +
                    static_cast<char>(cluster - 6) + StreamInput::item(raw, 256, 0, 0x55);
        return runs + static_cast<char>(cluster - 6) + StreamInput::item(kind, 128);
    };
    {
        TableDisk disk;
        disk.runs = stream(6, 0, video) + stream(7, 1, audio) + stream(9, 2, video);
        seeds.put("deleted", disk.input(0));
    }
    {
        TableDisk disk;
        disk.runs = stream(6, 0, video) + stream(7, 0, audio) + stream(9, 1, audio) + stream(10, 1, video);
        seeds.put("interleaved", disk.input(0));
    }
    {
        TableDisk disk;
        disk.layout.addChain({10, 8});
        disk.layout.addChain({11});
        disk.layout.putSlot(0, "Lebt", 11, 0, 9000);
        disk.runs = stream(10, 0, audio) + stream(8, 1, video) + stream(11, 0, audio);
        seeds.put("lost-chain", disk.input(0));
    }
    {
        TableDisk disk;
        disk.layout.putSlot(0, "Freigegeben", 7, 1, 0);
        disk.runs = stream(7, 0, video) + stream(8, 1, video);
        seeds.put("slot-names-free-cluster", disk.input(0));
    }
}

void commandSeeds(const SeedFolder& seeds) {
    const std::vector<std::vector<std::string>> lines = {
        {},
        {"list"},
        {"check"},
        {"check", "repair"},
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
        {"recover"},
        {"recover", "save", "all"},
        {"recover", "save", "1"},
        {"recover", "save"},
        {"recover", "list"},
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
    recoverSeeds(SeedFolder(root, "recover"));
    return 0;
}
