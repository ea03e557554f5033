#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ClusterTable;

// Follows one cluster chain through the allocation table, no further than its valid part. A
// chain ends at EndOfChain; a damaged one ends where it would lead to a cluster that is no
// data cluster of the table (a reserved cluster, a number outside the table), to a cluster
// whose entry reads free (it belongs to no chain), or back to a cluster it has passed (a
// loop). So a walk never leaves the table and never takes more steps than the table has
// clusters.
class ChainWalker {
public:
    // Starts at `first`; the walk has ended at once when `first` is no valid cluster (-1 for
    // an empty chain).
    ChainWalker(const ClusterTable& table, std::int32_t first);
    // The same, with the clusters passed kept in `passed` (one flag per table cluster), which
    // walks of several chains can share: a walk then also ends where its chain runs into a
    // cluster that an earlier walk has passed.
    ChainWalker(const ClusterTable& table, std::int32_t first, std::vector<bool>& passed);

    // The cluster the walk stands on; -1 once the chain has ended.
    std::int32_t current() const { return cluster; }
    bool ended() const { return cluster < 0; }
    // Moves on to the next cluster of the chain; false when there is none.
    bool advance();
    // True when the chain ended at damage rather than at EndOfChain or an empty chain.
    bool endedAtDamage() const { return damaged; }
    // Where a damaged chain broke, for messages: "Clusterkette fehlerhaft: Cluster 12 verweist
    // auf Cluster 3", or "...: erster Cluster 0 ungueltig" when its first cluster was no valid one.
    std::string breakText() const;
    // The cluster before the break (-1 when the first cluster was no valid one), and the
    // cluster the chain broke off to.
    std::int32_t lastBeforeBreak() const { return lastValid; }
    std::int32_t breakTarget() const { return badTarget; }

private:
    // Takes `next` as the current cluster when it is a valid, unvisited cluster of a chain.
    void stepTo(std::int32_t next);

    const ClusterTable& table;
    std::vector<bool> ownVisited;
    std::vector<bool>& visited;
    std::int32_t cluster = -1;
    std::int32_t lastValid = -1;  // the cluster before the break; -1 when it came at the first
    std::int32_t badTarget = -1;  // the cluster the chain broke off to
    bool damaged = false;
};
