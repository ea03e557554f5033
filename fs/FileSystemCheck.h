#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ChainWalker;
class ClusterTable;
class DirEntry;
class Directory;

// A read-only check of the file system. The chain of every recording is walked once, in slot
// order, and what table and directory disagree about is found: a chain that breaks off (a loop;
// a free, reserved or outside cluster; a table entry that could not be read), two chains that
// share clusters, a size that does not fit its chain, clusters in use that no chain reaches,
// and the table clusters and directory sectors that could not be read. Nothing is written;
// FileSystemRepair mends what can be mended without losing what is still reachable.
class FileSystemCheck {
public:
    enum class Damage {
        None,
        FirstFree,
        FirstReserved,
        FirstOutside,
        ToFree,
        ToReserved,
        ToOutside,
        Loop,
        UnreadEntry,
        CrossLinked,
    };

    // What the walk found on one recording's chain.
    struct Chain {
        std::int32_t slot = -1;
        Damage damage = Damage::None;
        std::int32_t length = 0;      // clusters of the chain's valid part
        std::int32_t lastValid = -1;  // the valid part's last cluster; -1 when it is empty
        std::int32_t target = -1;     // the cluster the chain breaks off to, or the first shared one
        std::int32_t otherSlot = -1;  // cross-linked: the slot whose chain holds `target`
        bool sizeFits = true;
    };

    // Walks the chain of every recording in the directory. Only for a chain whose last cluster
    // lies above the table's last cluster is anything read: a sector, to tell whether that
    // cluster is on the disk at all.
    explicit FileSystemCheck(Directory& directory);
    virtual ~FileSystemCheck();

    FileSystemCheck(const FileSystemCheck&) = delete;
    FileSystemCheck& operator=(const FileSystemCheck&) = delete;

    // The chains that are damaged or whose size does not fit them, in slot order.
    const std::vector<Chain>& faultyChains() const { return faulty; }
    static bool isFirstClusterDamage(Damage damage);
    // Clusters that the table calls free although a chain runs through them: a slot's first
    // cluster, or the cluster a chain breaks off to. A load must not hand them out.
    std::vector<std::int32_t> freeClustersInChains() const;
    // Data clusters whose entries were read and mark them in use, but that no chain reaches.
    std::vector<std::int32_t> lostClusters() const;
    // Whether the valid part of a recording's chain runs through the cluster.
    bool isReached(std::int32_t cluster) const { return ownerOf(cluster) != 0; }
    // The slots whose sector could not be read; what they hold is unknown.
    std::vector<std::int32_t> unreadSlots() const;

    // Prints one line per finding and a last line that sums up; true when nothing was found.
    bool report() const;

    // "12-15, 20": ascending numbers as ranges, at most `most` of them, then ", ...".
    static std::string rangesText(const std::vector<std::int32_t>& numbers, std::size_t most = 50);

private:
    void walk(const DirEntry& entry, std::vector<bool>& passed);
    void classifyBreak(const ChainWalker& walker, Chain& chain) const;
    void checkLastCluster(std::int32_t beforeLast, Chain& chain);
    // Whether the cluster lies wholly on the drive: by its length, or where that is unknown, by
    // whether its last sector can be read.
    bool isOnDisk(std::int32_t cluster) const;
    std::uint16_t ownerOf(std::int32_t cluster) const;
    void setOwner(std::int32_t cluster, std::uint16_t slotPlusOne);
    std::int32_t reportTable() const;
    std::int32_t reportChain(const Chain& chain) const;
    std::string breakText(const Chain& chain) const;
    std::string recordingText(std::int32_t slot) const;

    Directory& directory;
    ClusterTable& table;
    // Per cluster up to the highest one a chain passed: 1 + the slot whose chain holds it; 0:
    // none. Sized to the disk, not to the whole table: a check runs before every load.
    std::vector<std::uint16_t> owner;
    std::vector<Chain> faulty;
    std::int32_t recordings = 0;
    std::int32_t usedClusters = 0;
};
