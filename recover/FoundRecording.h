#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A recording that no directory slot reaches any more, as the search found it: the clusters that
// hold its stream, how the stream begins and where it ends.
struct FoundRecording {
    enum class Origin {
        LostChain,     // a chain still in the table that no slot's chain leads to
        FreeClusters,  // records in clusters that the table calls free
    };

    Origin origin = Origin::FreeClusters;
    // The clusters of the stream in its order. The first holds records, but for a lost chain
    // whose first cluster holds none: its stream begins at startOffset in the second.
    std::vector<std::int32_t> clusters;
    // A MiB of zeros goes in front of the clusters, in place of a first cluster that is unknown.
    bool zerosFirst = false;
    std::uint32_t startOffset = 0;
    // From the stream's first byte (the zeros included) to the end of its last record.
    std::uint64_t sizeBytes = 0;
    bool holdsVideo = false;
    // Several recordings could have gone on in one of its clusters, and nothing told which.
    bool joinGuessed = false;
    // The name of a slot that still names its first cluster; empty when none does.
    std::string slotName;

    std::int32_t firstCluster() const { return clusters.front(); }
    // The clusters of its backup file: the zeros, then the clusters found.
    std::uint64_t fileClusters() const { return clusters.size() + (zerosFirst ? 1 : 0); }
};
