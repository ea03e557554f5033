#include "fs/FileSystemCheck.h"

#include <algorithm>
#include <cinttypes>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/ChainWalker.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"

namespace {
constexpr std::uint64_t mebibyte = RecorderDisk::clusterSize;
constexpr std::int32_t entriesPerTableCluster = static_cast<std::int32_t>(mebibyte / 4);

// A chain of k clusters holds more than k - 1 MiB and at most k MiB; an empty one nothing.
bool sizeFitsLength(std::uint64_t size, std::int32_t length) {
    if (length == 0) return size == 0;
    return size > std::uint64_t(length - 1) * mebibyte && size <= std::uint64_t(length) * mebibyte;
}
}  // namespace

FileSystemCheck::FileSystemCheck(Directory& directory)
    : directory(directory),
      table(directory.clusterTable()),
      owner(static_cast<std::size_t>(std::max(table.lastCluster() + 1, 0)), 0) {
    std::vector<bool> passed;
    for (std::int32_t slot = 0; slot < Directory::entryCount; ++slot)
        if (const DirEntry* entry = directory.entryAt(slot)) walk(*entry, passed);
}

FileSystemCheck::~FileSystemCheck() = default;

bool FileSystemCheck::isFirstClusterDamage(Damage damage) {
    return damage == Damage::FirstFree || damage == Damage::FirstReserved || damage == Damage::FirstOutside;
}

void FileSystemCheck::walk(const DirEntry& entry, std::vector<bool>& passed) {
    Chain chain;
    chain.slot = entry.index();
    std::int32_t beforeLast = -1;
    ChainWalker walker(table, entry.firstCluster(), passed);
    for (; !walker.ended(); walker.advance()) {
        setOwner(walker.current(), static_cast<std::uint16_t>(chain.slot + 1));
        beforeLast = chain.lastValid;
        chain.lastValid = walker.current();
        ++chain.length;
    }
    ++recordings;
    if (walker.endedAtDamage())
        classifyBreak(walker, chain);
    else
        checkLastCluster(beforeLast, chain);
    usedClusters += chain.length;
    // A chain whose end could not be read may go on on the disk: its length is not known.
    const bool sized = chain.damage != Damage::CrossLinked && chain.damage != Damage::UnreadEntry &&
                       !isFirstClusterDamage(chain.damage);
    chain.sizeFits = !sized || sizeFitsLength(entry.sizeBytes(), chain.length);
    if (chain.damage != Damage::None || !chain.sizeFits) faulty.push_back(chain);
}

void FileSystemCheck::classifyBreak(const ChainWalker& walker, Chain& chain) const {
    const std::int32_t target = walker.breakTarget();
    const bool atFirst = walker.lastBeforeBreak() < 0;
    chain.target = target;
    if (target >= 0 && target < ClusterTable::firstDataCluster)
        chain.damage = atFirst ? Damage::FirstReserved : Damage::ToReserved;
    else if (ClusterTable::isTableCluster(target) && table.entryOf(target) == ClusterTable::FreeCluster)
        chain.damage = atFirst ? Damage::FirstFree : Damage::ToFree;
    else if (!ClusterTable::isTableCluster(target) || ownerOf(target) == 0)
        // Passed by an earlier walk but held by none: it was found to lie beyond the disk.
        chain.damage = atFirst ? Damage::FirstOutside : Damage::ToOutside;
    else if (ownerOf(target) == chain.slot + 1)
        chain.damage = Damage::Loop;
    else {
        chain.damage = Damage::CrossLinked;
        chain.otherSlot = ownerOf(target) - 1;
    }
}

// A chain that ends at EndOfChain may still end wrongly: at an entry that could not be read
// (it stands as EndOfChain), or at a cluster above the table's last cluster, whose entry is
// EndOfChain as are those of the clusters beyond the disk's end.
void FileSystemCheck::checkLastCluster(std::int32_t beforeLast, Chain& chain) {
    const std::int32_t last = chain.lastValid;
    if (last < 0) return;
    if (!table.isEntryRead(last)) {
        chain.damage = Damage::UnreadEntry;
        return;
    }
    if (last <= table.lastCluster() || isOnDisk(last)) return;
    setOwner(last, 0);
    chain.target = last;
    chain.lastValid = beforeLast;
    --chain.length;
    chain.damage = beforeLast < 0 ? Damage::FirstOutside : Damage::ToOutside;
}

std::uint16_t FileSystemCheck::ownerOf(std::int32_t cluster) const {
    const auto index = static_cast<std::size_t>(cluster);
    return index < owner.size() ? owner[index] : 0;
}

void FileSystemCheck::setOwner(std::int32_t cluster, std::uint16_t slotPlusOne) {
    const auto index = static_cast<std::size_t>(cluster);
    if (index >= owner.size()) owner.resize(index + 1, 0);
    owner[index] = slotPlusOne;
}

bool FileSystemCheck::isOnDisk(std::int32_t cluster) const {
    RecorderDisk& disk = directory.recorderDisk();
    const std::uint64_t end = (std::uint64_t(cluster) + 1) * mebibyte;
    std::uint64_t length = 0;
    if (disk.driveLength(&length)) return end <= length;
    // Where the system cannot tell the drive's length, a cluster whose last sector reads lies on
    // it (an unreadable sector there cannot be told from the disk's end).
    std::uint8_t sector[RecorderDisk::sectorSize];
    return disk.readSector(sector, end - RecorderDisk::sectorSize, false);
}

std::vector<std::int32_t> FileSystemCheck::freeClustersInChains() const {
    std::vector<std::int32_t> clusters;
    for (const Chain& chain : faulty)
        if (chain.damage == Damage::FirstFree || chain.damage == Damage::ToFree) clusters.push_back(chain.target);
    std::sort(clusters.begin(), clusters.end());
    return clusters;
}

std::vector<std::int32_t> FileSystemCheck::lostClusters() const {
    std::vector<std::int32_t> lost;
    for (std::int32_t cluster = ClusterTable::firstDataCluster; cluster <= table.lastCluster(); ++cluster) {
        if (ownerOf(cluster) == 0 && table.entryOf(cluster) != ClusterTable::FreeCluster &&
            table.isEntryRead(cluster))
            lost.push_back(cluster);
    }
    return lost;
}

std::vector<std::int32_t> FileSystemCheck::unreadSlots() const {
    std::vector<std::int32_t> slots;
    for (std::int32_t slot = 0; slot < Directory::entryCount; ++slot)
        if (!directory.isSlotRead(slot)) slots.push_back(slot);
    return slots;
}

std::string FileSystemCheck::rangesText(const std::vector<std::int32_t>& numbers, std::size_t most) {
    std::string text;
    std::size_t ranges = 0;
    for (std::size_t k = 0; k < numbers.size();) {
        std::size_t end = k;
        while (end + 1 < numbers.size() && numbers[end + 1] == numbers[end] + 1) ++end;
        if (ranges == most) return text + ", ...";
        if (ranges++ > 0) text += ", ";
        text += end == k ? std::to_string(numbers[k]) : std::to_string(numbers[k]) + "-" + std::to_string(numbers[end]);
        k = end + 1;
    }
    return text;
}

bool FileSystemCheck::report() const {
    Console& console = Console::instance();
    std::int32_t findings = reportTable();
    const std::vector<std::int32_t> unread = unreadSlots();
    if (!unread.empty()) {
        console.print(TextFormat::format("Verzeichnis: %d Sektoren nicht lesbar, Inhalt der Eintraege %s unbekannt\n",
                                         static_cast<int>(unread.size() / 2), rangesText(unread).c_str())
                          .c_str());
        ++findings;
    }
    for (const Chain& chain : faulty) findings += reportChain(chain);
    const std::vector<std::int32_t> lost = lostClusters();
    if (!lost.empty()) {
        console.print(TextFormat::format("%d verlorene Cluster (%d MiB) belegt, aber von keiner Aufnahme erreicht: %s\n",
                                         static_cast<int>(lost.size()), static_cast<int>(lost.size()),
                                         rangesText(lost).c_str())
                          .c_str());
        ++findings;
    }
    if (findings == 0) {
        console.print(TextFormat::format("Keine Fehler gefunden: %d Aufnahmen auf %d Clustern\n", recordings,
                                         usedClusters)
                          .c_str());
        return true;
    }
    console.print(TextFormat::format("%d Fehler gefunden\n", findings).c_str());
    return false;
}

// One line per table cluster that could not be read whole, with the entries that are missing.
std::int32_t FileSystemCheck::reportTable() const {
    if (table.isReadWhole()) return 0;
    std::int32_t findings = 0;
    for (std::int32_t part = 0; part < ClusterTable::tableClusterCount; ++part) {
        const std::int32_t first = std::max(0, part * entriesPerTableCluster - ClusterTable::headerEntryCount);
        const std::int32_t last = (part + 1) * entriesPerTableCluster - ClusterTable::headerEntryCount - 1;
        std::int32_t unread = first;
        while (unread <= last && table.isEntryRead(unread)) ++unread;
        if (unread > last) continue;
        Console::instance().print(TextFormat::format("Cluster %d der Clustertabelle nicht vollstaendig lesbar: die "
                                                     "Eintraege der Cluster %d bis %d fehlen\n",
                                                     part, unread, last)
                                      .c_str());
        ++findings;
    }
    return findings;
}

std::int32_t FileSystemCheck::reportChain(const Chain& chain) const {
    Console& console = Console::instance();
    std::int32_t findings = 0;
    if (chain.damage != Damage::None) {
        console.print((recordingText(chain.slot) + ": " + breakText(chain) + "\n").c_str());
        ++findings;
    }
    if (!chain.sizeFits) {
        const DirEntry* entry = directory.entryAt(chain.slot);
        console.print(TextFormat::format("%s: Groesse %" PRIu64 " Bytes passt nicht zur Kette aus %d Clustern\n",
                                         recordingText(chain.slot).c_str(), entry->sizeBytes(), chain.length)
                          .c_str());
        ++findings;
    }
    return findings;
}

std::string FileSystemCheck::recordingText(std::int32_t slot) const {
    const DirEntry* entry = directory.entryAt(slot);
    return TextFormat::format("Aufnahme %d \"%s\"", slot, entry ? entry->shownName().c_str() : "");
}

std::string FileSystemCheck::breakText(const Chain& chain) const {
    switch (chain.damage) {
    case Damage::FirstFree:
        return TextFormat::format("erster Cluster %d ist frei", chain.target);
    case Damage::FirstReserved:
        return TextFormat::format("erster Cluster %d ist reserviert", chain.target);
    case Damage::FirstOutside:
        return TextFormat::format("erster Cluster %d liegt ausserhalb der Festplatte", chain.target);
    case Damage::ToFree:
        return TextFormat::format("Cluster %d verweist auf den freien Cluster %d", chain.lastValid, chain.target);
    case Damage::ToReserved:
        return TextFormat::format("Cluster %d verweist auf den reservierten Cluster %d", chain.lastValid, chain.target);
    case Damage::ToOutside:
        return TextFormat::format("Cluster %d verweist auf Cluster %d ausserhalb der Festplatte", chain.lastValid,
                                  chain.target);
    case Damage::Loop:
        return TextFormat::format("Kette laeuft im Kreis, Cluster %d verweist zurueck auf Cluster %d", chain.lastValid,
                                  chain.target);
    case Damage::UnreadEntry:
        return TextFormat::format("Kette bricht bei Cluster %d ab, sein Eintrag in der Clustertabelle ist nicht lesbar",
                                  chain.lastValid);
    case Damage::CrossLinked:
        return TextFormat::format("querverbunden mit %s, beide Ketten enthalten Cluster %d",
                                  recordingText(chain.otherSlot).c_str(), chain.target);
    case Damage::None:
        break;
    }
    return std::string();
}
