#include "support/DiskCheck.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/RecorderLayout.h"

namespace {
// The checker judges every fault test; it must itself tell a broken disk.
TEST(DiskCheck, TellsBrokenChainsSharedClustersAndLostClusters) {
    RecorderLayout layout(16);
    layout.addChain({6, 9});
    layout.putSlot(0, "Gut", 6, 1, 0);
    layout.addChain({7, 8});
    layout.setEntry(8, 7);  // a loop
    layout.putSlot(1, "Kreis", 7, 1, 0);
    layout.putSlot(2, "Geteilt", 9, 1, 0);
    layout.putSlot(3, "Frei", 10, 1, 0);  // cluster 10 is free
    layout.setEntry(12, -1);              // in use, but no slot reaches it
    std::vector<std::uint8_t> drive(16u << 20);
    std::memcpy(drive.data(), "velmoran hd V1.02", 18);
    layout.copyInto(drive);
    const DiskCheck check(drive);
    EXPECT_EQ((std::vector<std::string>{"slot 1: cluster 7 comes round again", "slot 2: cluster 9 belongs to slot 0",
                                        "slot 3: cluster 10 of its chain is free"}),
              check.problems());
    EXPECT_EQ((std::vector<std::int32_t>{6, 9}), check.chains().at(0));
    EXPECT_EQ((std::set<std::int32_t>{12}), check.unreachableInUse());
}
}  // namespace
