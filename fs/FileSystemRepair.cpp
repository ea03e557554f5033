#include "fs/FileSystemRepair.h"

#include <vector>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Directory.h"
#include "fs/FileSystemCheck.h"

namespace {
Console& console() { return Console::instance(); }

using Damage = FileSystemCheck::Damage;

bool endsAtBreak(Damage damage) {
    return damage == Damage::ToFree || damage == Damage::ToReserved || damage == Damage::ToOutside ||
           damage == Damage::Loop;
}
bool entryNotWritten(std::int32_t slot) {
    console().printMessage(2, 702,
                           TextFormat::format("Schreiben des Verzeichniseintrags %d auf die Festplatte fehlgeschlagen, "
                                              "die Clustertabelle bleibt unveraendert!\n",
                                              slot)
                               .c_str());
    return false;
}
}  // namespace

FileSystemRepair::FileSystemRepair(Directory& directory, const FileSystemCheck& check)
    : directory(directory), table(directory.clusterTable()), check(check) {}

FileSystemRepair::~FileSystemRepair() = default;

bool FileSystemRepair::run() {
    // The stand-ins of an unread table part would replace the disk's own entries.
    if (!table.isReadWhole()) {
        console().printMessage(2, 701,
                               "Clustertabelle (Cluster 0 bis 4) konnte nicht vollstaendig gelesen werden, die "
                               "Festplatte bleibt unveraendert!\n");
        return false;
    }
    if (!mendEntries()) return false;
    const std::string tableLines = mendTable();
    if (!table.writeBack()) {
        console().printMessage(2, 703, "Schreiben der Clustertabelle auf die Festplatte fehlgeschlagen!\n");
        return false;
    }
    console().print(tableLines.c_str());
    console().print(anythingLeft ? "Reparatur beendet, nicht alle Fehler wurden behoben\n"
                                 : "Reparatur beendet, alle Fehler wurden behoben\n");
    return !anythingLeft;
}

bool FileSystemRepair::mendEntries() {
    if (!check.unreadSlots().empty()) leave("Nicht lesbare Verzeichnissektoren bleiben unveraendert\n");
    for (const FileSystemCheck::Chain& chain : check.faultyChains()) {
        DirEntry& entry = *directory.entryAt(chain.slot);
        if (chain.damage == Damage::CrossLinked) {
            leave(TextFormat::format("Aufnahme %d bleibt unveraendert: querverbunden mit Aufnahme %d, bitte beide "
                                     "Aufnahmen zuerst sichern\n",
                                     chain.slot, chain.otherSlot));
        } else if (FileSystemCheck::isFirstClusterDamage(chain.damage)) {
            if (!clearEntry(entry)) return false;
        } else if (!chain.sizeFits) {
            if (entry.sizeBytes() > std::uint64_t(chain.length) * RecorderDisk::clusterSize) {
                if (!cutSize(entry, chain.length)) return false;
            } else {
                // The chain holds more than the size says: nothing is cut that may be data.
                leave(TextFormat::format("Aufnahme %d: Groesse bleibt unveraendert\n", chain.slot));
            }
        }
    }
    return true;
}

bool FileSystemRepair::clearEntry(DirEntry& entry) {
    const std::int32_t slot = entry.index();
    if (!entry.clear()) return entryNotWritten(slot);
    console().print(TextFormat::format("Aufnahme %d: Eintrag geloescht\n", slot).c_str());
    return true;
}

bool FileSystemRepair::cutSize(DirEntry& entry, std::int32_t length) {
    const std::uint32_t mebibytes = entry.sizeMiB();
    const std::uint32_t remainder = entry.sizeRemainder();
    entry.setSize(static_cast<std::uint32_t>(length), 0);
    if (!entry.writeBack()) {
        entry.setSize(mebibytes, remainder);
        return entryNotWritten(entry.index());
    }
    console().print(TextFormat::format("Aufnahme %d: Groesse auf %d MiB gekuerzt\n", entry.index(), length).c_str());
    return true;
}

std::string FileSystemRepair::mendTable() {
    std::string lines;
    for (const FileSystemCheck::Chain& chain : check.faultyChains()) {
        if (!endsAtBreak(chain.damage)) continue;
        table.endChainAt(chain.lastValid);
        lines += TextFormat::format("Aufnahme %d: Kette endet nun bei Cluster %d\n", chain.slot, chain.lastValid);
    }
    const std::vector<std::int32_t> lost = check.lostClusters();
    if (lost.empty()) return lines;
    if (!check.unreadSlots().empty()) {
        leave(TextFormat::format("%d verlorene Cluster bleiben belegt: die nicht lesbaren Verzeichnissektoren koennen "
                                 "Aufnahmen enthalten, die sie belegen\n",
                                 static_cast<int>(lost.size())));
        return lines;
    }
    for (const std::int32_t cluster : lost) table.freeCluster(cluster);
    return lines + TextFormat::format("%d verlorene Cluster freigegeben\n", static_cast<int>(lost.size()));
}

void FileSystemRepair::leave(const std::string& line) {
    console().print(line.c_str());
    anythingLeft = true;
}
