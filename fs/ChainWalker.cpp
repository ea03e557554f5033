#include "fs/ChainWalker.h"

#include "base/TextFormat.h"
#include "fs/ClusterTable.h"

ChainWalker::ChainWalker(const ClusterTable& table, std::int32_t first)
    : table(table), ownVisited(static_cast<std::size_t>(ClusterTable::maxClusterCount), false), visited(ownVisited) {
    stepTo(first);
}

ChainWalker::ChainWalker(const ClusterTable& table, std::int32_t first, std::vector<bool>& passed)
    : table(table), visited(passed) {
    visited.resize(static_cast<std::size_t>(ClusterTable::maxClusterCount), false);
    stepTo(first);
}

bool ChainWalker::advance() {
    if (cluster < 0) return false;
    stepTo(table.entryOf(cluster));
    return cluster >= 0;
}

void ChainWalker::stepTo(std::int32_t next) {
    const std::int32_t previous = cluster;
    cluster = -1;
    if (next == ClusterTable::EndOfChain) return;
    const bool dataCluster = next >= ClusterTable::firstDataCluster && next < ClusterTable::maxClusterCount;
    if (!dataCluster || visited[static_cast<std::size_t>(next)] || table.entryOf(next) == ClusterTable::FreeCluster) {
        damaged = true;
        lastValid = previous;
        badTarget = next;
        return;
    }
    visited[static_cast<std::size_t>(next)] = true;
    cluster = next;
}

std::string ChainWalker::breakText() const {
    if (lastValid < 0) return TextFormat::format("Clusterkette fehlerhaft: erster Cluster %d ungueltig", badTarget);
    return TextFormat::format("Clusterkette fehlerhaft: Cluster %d verweist auf Cluster %d", lastValid, badTarget);
}
