// check and check repair on damaged in-memory disks, each run a whole command; the tests' own
// DiskCheck judges the disks independently of the tool's check.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/BackupBytes.h"
#include "support/DiskCheck.h"
#include "support/InMemoryRecorder.h"
#include "support/TempDir.h"

namespace {
constexpr std::int32_t driveClusters = 32;
constexpr std::size_t mebibyte = 1u << 20;
using Drive = std::vector<std::uint8_t>;

struct Outcome {
    ToolResult result;
    Drive drive;
    int writes = 0;
};

// A healthy recording in slot 0 on clusters 6, 7; every data cluster holds bytes of its own.
Drive driveWith(const std::function<void(RecorderLayout&)>& damage) {
    static const Drive data = [] {
        InMemoryRecorder recorder(driveClusters, RecorderLayout(driveClusters));
        for (std::int32_t cluster = 6; cluster < driveClusters; ++cluster) {
            const std::string bytes = BackupBytes::cluster(cluster);
            std::copy(bytes.begin(), bytes.end(), recorder.drive().begin() + std::ptrdiff_t(cluster * mebibyte));
        }
        return recorder.drive();
    }();
    RecorderLayout layout(driveClusters);
    layout.addChain({6, 7});
    layout.putSlot(0, "Gesund", 6, 1, 10);
    damage(layout);
    Drive drive = data;
    layout.copyInto(drive);
    return drive;
}

Outcome runOn(const Drive& drive, const std::vector<std::string>& words, int failWriteAt = 0, bool shortWrite = false,
              const std::set<std::uint64_t>& unreadable = {}) {
    static const RecorderLayout overwritten(driveClusters);
    InMemoryRecorder recorder(driveClusters, overwritten);
    recorder.drive() = drive;
    recorder.fake.unreadableSectors[0] = unreadable;
    (shortWrite ? recorder.fake.shortWriteAt : recorder.fake.failWriteAt) = failWriteAt;
    Outcome run{recorder.run(words), std::move(recorder.drive()), recorder.fake.writeCount};
    return run;
}

// Slot 0's entry and table entries, and every data cluster: repair never writes data.
bool sameHealthyPart(const Drive& one, const Drive& other) {
    const auto same = [&](std::size_t position, std::size_t length) {
        return std::equal(one.begin() + std::ptrdiff_t(position), one.begin() + std::ptrdiff_t(position + length),
                          other.begin() + std::ptrdiff_t(position));
    };
    return same(512 + 4 * 6, 8) && same(5 * mebibyte, 256) && same(6 * mebibyte, one.size() - 6 * mebibyte);
}

void crossLink(RecorderLayout& layout) {
    layout.addChain({8, 9});
    layout.putSlot(1, "Eins", 8, 1, 1);
    layout.addChain({12, 9});
    layout.putSlot(2, "Zwei", 12, 2, 0);
}

const char* const crossLinkLine = "Aufnahme 2 \"Zwei\": querverbunden mit Aufnahme 1 \"Eins\", beide Ketten enthalten Cluster 9\n";

void everyFault(RecorderLayout& layout) {
    crossLink(layout);
    layout.setEntry(20, 21);  // lost: 20, 21, 25
    layout.setEntry(21, -1);
    layout.setEntry(25, -1);
    layout.addChain({14, 15});
    layout.setEntry(15, 30);  // free
    layout.putSlot(3, "Frei", 14, 3, 0);
    layout.putSlot(4, "Leer", 11, 0, 5);
    layout.addChain({16, 17, 18});
    layout.setEntry(18, 17);
    layout.putSlot(5, "Kreis", 16, 2, 1);
    layout.addChain({22, 23});
    layout.setEntry(23, 40);  // beyond the drive's 32 clusters
    layout.putSlot(6, "Aussen", 22, 1, 7);
    layout.putSlot(7, "Reserviert", 3, 0, 0);
}

struct Case {
    const char* name;
    std::function<void(RecorderLayout&)> damage;
    std::vector<std::string> findings;  // each a whole line of the check's report
    bool mendable;                      // else repair fails and changes nothing
    std::set<std::uint64_t> unreadable = {};
};

TEST(CheckCommand, FindsEachFaultWithoutWritingAndRepairLeavesOnlyCrossLinks) {
    const std::vector<Case> cases = {
        {"healthy", [](RecorderLayout&) {}, {"Keine Fehler gefunden: 1 Aufnahmen auf 2 Clustern\n"}, true},
        {"lost clusters",
         [](RecorderLayout& layout) {
             layout.setEntry(20, 21);
             layout.setEntry(21, -1);
             layout.setEntry(25, 9);
         },
         {"3 verlorene Cluster (3 MiB) belegt, aber von keiner Aufnahme erreicht: 20-21, 25\n"},
         true},
        {"chain into a free cluster, first cluster free",
         [](RecorderLayout& layout) {
             layout.addChain({14, 15});
             layout.setEntry(15, 30);
             layout.putSlot(3, "Frei", 14, 3, 0);
             layout.putSlot(4, "Leer", 11, 0, 5);
         },
         {"Aufnahme 3 \"Frei\": Cluster 15 verweist auf den freien Cluster 30\n",
          "Aufnahme 3 \"Frei\": Groesse 3145728 Bytes passt nicht zur Kette aus 2 Clustern\n",
          "Aufnahme 4 \"Leer\": erster Cluster 11 ist frei\n"},
         true},
        {"loop",
         [](RecorderLayout& layout) {
             layout.addChain({16, 17, 18});
             layout.setEntry(18, 17);
             layout.putSlot(5, "Kreis", 16, 2, 1);
         },
         {"Aufnahme 5 \"Kreis\": Kette laeuft im Kreis, Cluster 18 verweist zurueck auf Cluster 17\n"},
         true},
        {"chain out of the disk, reserved first cluster",
         [](RecorderLayout& layout) {
             layout.addChain({22, 23});
             layout.setEntry(23, 40);
             layout.putSlot(6, "Aussen", 22, 1, 7);
             layout.putSlot(7, "Reserviert", 3, 0, 0);
         },
         {"Aufnahme 6 \"Aussen\": Cluster 23 verweist auf Cluster 40 ausserhalb der Festplatte\n",
          "Aufnahme 7 \"Reserviert\": erster Cluster 3 ist reserviert\n"},
         true},
        {"cross-linked", crossLink, {crossLinkLine}, false},
        {"table cluster unreadable", [](RecorderLayout&) {},
         {"Cluster 2 der Clustertabelle nicht vollstaendig lesbar: die Eintraege der Cluster 524160 bis 786303 fehlen\n"},
         false, {5000}},
        {"directory sector unreadable: lost clusters kept", [](RecorderLayout& layout) { layout.setEntry(20, -1); },
         {"Verzeichnis: 1 Sektoren nicht lesbar, Inhalt der Eintraege 8-9 unbekannt\n",
          "1 verlorene Cluster (1 MiB) belegt, aber von keiner Aufnahme erreicht: 20\n"},
         false, {10244}},
        {"table cluster 0 unreadable: a chain ends at an unread entry, no unread entry is lost, nothing written",
         [](RecorderLayout& layout) {
             layout.setEntry(262016, 0);  // read, in table cluster 1: the table reaches past the unread part
             layout.putSlot(1, "Reserviert", 3, 0, 0);
         },
         {"Cluster 0 der Clustertabelle nicht vollstaendig lesbar: die Eintraege der Cluster 0 bis 262015 fehlen\n",
          "Aufnahme 0 \"Gesund\": Kette bricht bei Cluster 6 ab, sein Eintrag in der Clustertabelle ist nicht lesbar\n",
          "Aufnahme 1 \"Reserviert\": erster Cluster 3 ist reserviert\n"},
         false, {1}},
        {"a chain up to the drive's last cluster, above the table's last; a size of k - 1 MiB on k clusters",
         [](RecorderLayout& layout) {
             layout.addChain({29, 31});
             layout.putSlot(1, "Rand", 29, 2, 0);
             layout.addChain({8, 9});
             layout.putSlot(2, "Genau", 8, 1, 0);
         },
         {"Aufnahme 2 \"Genau\": Groesse 1048576 Bytes passt nicht zur Kette aus 2 Clustern\n"},
         false},
        {"lost clusters two apart",
         [](RecorderLayout& layout) {
             layout.setEntry(20, -1);
             layout.setEntry(22, -1);
         },
         {"2 verlorene Cluster (2 MiB) belegt, aber von keiner Aufnahme erreicht: 20, 22\n"},
         true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Drive before = driveWith(test.damage);
        const bool healthy = test.findings.size() == 1 && test.findings[0].rfind("Keine", 0) == 0;
        const Outcome checked = runOn(before, {"check"}, 0, false, test.unreadable);
        std::string report;
        for (const std::string& line : test.findings) report += line;
        if (!healthy) report += std::to_string(test.findings.size()) + " Fehler gefunden\n";
        EXPECT_EQ(report, checked.result.output);
        EXPECT_EQ(healthy ? 0 : 1, checked.result.status) << checked.result.output;
        EXPECT_TRUE(checked.drive == before);

        const Outcome repaired = runOn(before, {"check", "repair"}, 0, false, test.unreadable);
        EXPECT_EQ(test.mendable ? 0 : 1, repaired.result.status) << repaired.result.output;
        EXPECT_TRUE(sameHealthyPart(repaired.drive, before));
        if (healthy || !test.mendable) {
            EXPECT_TRUE(repaired.drive == before);
        }
        const Outcome after = runOn(repaired.drive, {"check"}, 0, false, test.unreadable);
        if (test.mendable) {
            EXPECT_EQ(0, after.result.status) << after.result.output;
            const DiskCheck independent(repaired.drive);
            EXPECT_TRUE(independent.problems().empty() && independent.unreachableInUse().empty());
        } else {
            EXPECT_EQ(checked.result.output, after.result.output);
        }
    }
}

// Every write of a repair failing in turn, or moving half of its bytes: the disk has no fault
// that it did not have before, the healthy recording is untouched, and a run that did not do
// the whole work says which write failed.
TEST(CheckCommand, ARepairWithAFailingWriteMakesNoNewFault) {
    const Drive before = driveWith(everyFault);
    const DiskCheck beforeRepair(before);
    const std::vector<std::string>& was = beforeRepair.problems();
    const Outcome faultFree = runOn(before, {"check", "repair"});
    ASSERT_GE(faultFree.writes, 4);  // three slots in three sectors, then the table cluster
    for (int call = 1; call <= faultFree.writes; ++call) {
        for (const bool half : {false, true}) {
            SCOPED_TRACE("write " + std::to_string(call) + (half ? " short" : " failed"));
            const Outcome faulty = runOn(before, {"check", "repair"}, call, half);
            EXPECT_EQ(1, faulty.result.status);
            EXPECT_TRUE(sameHealthyPart(faulty.drive, before));
            const DiskCheck after(faulty.drive);
            for (const std::string& problem : after.problems())
                EXPECT_NE(was.end(), std::find(was.begin(), was.end(), problem)) << problem;
            if (faulty.drive != faultFree.drive) {
                EXPECT_NE(std::string::npos, faulty.result.output.find("fehlgeschlagen")) << faulty.result.output;
            }
            // What the message says: a failed entry write comes before the table is written.
            if (faulty.result.output.find("die Clustertabelle bleibt unveraendert") != std::string::npos) {
                const auto tableEnd = before.begin() + std::ptrdiff_t(5 * mebibyte);
                EXPECT_TRUE(std::equal(before.begin(), tableEnd, faulty.drive.begin()));
            }
        }
    }
}

// What the tool itself writes checks clean; and a load never takes the free clusters that a
// damaged chain runs through (the cluster a chain breaks off to, a slot's free first cluster).
TEST(CheckCommand, DisksTheToolWroteCheckCleanAndALoadSparesDamagedChains) {
    TempDir temp;
    const std::string backup = temp.file("film.vlm");
    // The file's entry names cluster 8, free on the disk it goes to: no damaged chain runs through it,
    // so the load takes it first.
    TempDir::writeAll(backup, BackupBytes::header() + BackupBytes::entry("Film", 8, 2, 9) +
                                  BackupBytes::cluster(1) + BackupBytes::cluster(2) + BackupBytes::cluster(3));
    Drive drive = driveWith([](RecorderLayout&) {});
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"movie", "load", backup}, {"movie", "delete", "0"}, {"image", "format"}}) {
        drive = runOn(drive, words).drive;
        EXPECT_EQ(0, runOn(drive, {"check"}).result.status) << words[1];
        if (words[1] == "load") {
            const auto eight = drive.begin() + std::ptrdiff_t(8 * mebibyte);
            EXPECT_TRUE(BackupBytes::cluster(1) == std::string(eight, eight + std::ptrdiff_t(mebibyte)));
        }
    }
    const Drive damaged = driveWith([](RecorderLayout& layout) {
        layout.setEntry(7, 0);
        layout.putSlot(1, "Leer", 8, 0, 1);
    });
    const Outcome loaded = runOn(damaged, {"movie", "load", backup});
    EXPECT_EQ(0, loaded.result.status);
    for (const std::int32_t cluster : {7, 8})
        EXPECT_TRUE(std::equal(damaged.begin() + std::ptrdiff_t(cluster * mebibyte),
                               damaged.begin() + std::ptrdiff_t((cluster + 1) * mebibyte),
                               loaded.drive.begin() + std::ptrdiff_t(cluster * mebibyte)))
            << cluster;
}
}  // namespace
