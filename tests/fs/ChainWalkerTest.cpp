#include "fs/ChainWalker.h"

#include <gtest/gtest.h>

#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "support/RecorderLayout.h"

namespace {
struct Walk {
    std::vector<std::int32_t> clusters;
    bool damaged;
};

Walk walk(const ClusterTable& table, std::int32_t first) {
    Walk result;
    ChainWalker walker(table, first);
    for (; !walker.ended(); walker.advance()) result.clusters.push_back(walker.current());
    result.damaged = walker.endedAtDamage();
    return result;
}

TEST(ChainWalker, FollowsAChainOnlyAsFarAsItIsValid) {
    RecorderLayout layout(40);
    layout.addChain({9, 7, 12});
    layout.addChain({14, 15, 16});
    layout.setEntry(16, 15);  // back to a cluster passed before
    layout.addChain({20, 21});
    layout.setEntry(21, 30);  // cluster 30 is free: it belongs to no chain
    layout.addChain({22, 3});  // into the reserved clusters
    layout.addChain({24});
    layout.setEntry(24, 0x7FFFFFFF);  // out of the table
    FakePlatform fake;
    layout.copyInto(fake.addDrive(0, 40u << 20));
    fake.putSignature(0);
    RecorderDisk disk(&fake);
    disk.create();
    ClusterTable table(disk);
    table.load();

    const Walk intact = walk(table, 9);
    EXPECT_EQ((std::vector<std::int32_t>{9, 7, 12}), intact.clusters);
    EXPECT_FALSE(intact.damaged);
    EXPECT_EQ((std::vector<std::int32_t>{14, 15, 16}), walk(table, 14).clusters);
    EXPECT_EQ((std::vector<std::int32_t>{20, 21}), walk(table, 20).clusters);
    EXPECT_EQ((std::vector<std::int32_t>{22}), walk(table, 22).clusters);
    EXPECT_EQ((std::vector<std::int32_t>{24}), walk(table, 24).clusters);
    for (std::int32_t first : {14, 20, 22, 24}) EXPECT_TRUE(walk(table, first).damaged) << first;

    // An empty chain is no damage; a first cluster that is free, reserved or outside is.
    EXPECT_FALSE(walk(table, -1).damaged);
    EXPECT_TRUE(walk(table, -1).clusters.empty());
    for (std::int32_t first : {30, 5, 0, -2, ClusterTable::maxClusterCount}) {
        EXPECT_TRUE(walk(table, first).clusters.empty()) << first;
        EXPECT_TRUE(walk(table, first).damaged) << first;
    }
}
}  // namespace
