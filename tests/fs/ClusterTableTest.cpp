#include "fs/ClusterTable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::int32_t EndOfChain = ClusterTable::EndOfChain;
constexpr std::int32_t FreeCluster = ClusterTable::FreeCluster;

// A recorder disk of `clusters` MiB on a fake drive, its table loaded from the layout.
class TableOnFakeDisk {
public:
    TableOnFakeDisk(const RecorderLayout& layout, std::int32_t clusters = 7) {
        layout.copyInto(fake.addDrive(0, std::uint64_t(clusters) << 20));
        fake.putSignature(0);
        disk.create();
        table.load();
    }

    // The entry as it stands on the drive.
    std::int32_t entryOnDisk(std::int32_t cluster) {
        std::int32_t value;
        std::memcpy(&value, fake.drive(0).data() + 512 + 4 * std::size_t(cluster), 4);
        return value;
    }

    FakePlatform fake;
    RecorderDisk disk{&fake};
    ClusterTable table{disk};
};

TEST(ClusterTable, LoadEndsTheDiskAtTheHighestEntryThatIsNotEndOfChain) {
    {
        TableOnFakeDisk none{RecorderLayout(6)};
        EXPECT_EQ(5, none.table.lastCluster());
        EXPECT_EQ(0, none.table.dataClusterCount());
        EXPECT_EQ(-1, none.table.allocate());
        EXPECT_EQ(0u, none.table.percentFree());
    }
    {
        TableOnFakeDisk one{RecorderLayout(7)};
        EXPECT_EQ(6, one.table.lastCluster());
        EXPECT_EQ(1, one.table.dataClusterCount());
    }
    {
        // The last cluster of a recording at the top of the table is not counted.
        RecorderLayout layout(10);
        layout.addChain({7, 9});
        TableOnFakeDisk topRecording{layout, 10};
        EXPECT_EQ(8, topRecording.table.lastCluster());
        EXPECT_EQ(9, topRecording.table.entryOf(7));
    }
    {
        TableOnFakeDisk whole{RecorderLayout(ClusterTable::maxClusterCount)};
        EXPECT_EQ(ClusterTable::maxClusterCount - 1, whole.table.lastCluster());
        EXPECT_EQ(FreeCluster, whole.table.entryOf(ClusterTable::maxClusterCount - 1));
    }
}

TEST(ClusterTable, TheEndOfTheDiskIsFoundOnEitherSideOfAScanBlock) {
    // The scan passes over the EndOfChain entries from the top down in blocks of 65536, 1024 and
    // 32 entries, and takes the entries below the lowest whole block one by one; a table cluster
    // ends at 262015.
    const std::int32_t top = ClusterTable::maxClusterCount;
    for (std::int32_t last : {top - 1, top - 1024, top - 1025, top - 65536, top - 65537, top - 65536 - 33, 262015,
                              262016, 896, 895, 6 + 32, 7}) {
        RecorderLayout layout(6);
        layout.setEntry(last, FreeCluster);
        TableOnFakeDisk disk{layout};
        EXPECT_EQ(last, disk.table.lastCluster()) << last;
    }
}

TEST(ClusterTable, EntriesInTableClustersThatHoldOnlyEndOfChainChangeAndGoBackWhole) {
    // A one-cluster recording far up: its entry is EndOfChain, like all of table cluster 3.
    RecorderLayout layout(9);
    layout.putSlot(0, "Oben", 800000, 1, 0);
    layout.setEntry(200000, 7);  // table cluster 0 holds an entry of another kind
    TableOnFakeDisk disk{layout, 9};
    EXPECT_EQ(200000, disk.table.lastCluster());
    EXPECT_TRUE(disk.table.freeChain(800000));
    EXPECT_EQ(FreeCluster, disk.table.entryOf(800000));
    EXPECT_EQ(FreeCluster, disk.entryOnDisk(800000));
    for (std::int32_t cluster : {799999, 800001, 300000, 1100000, ClusterTable::maxClusterCount - 1})
        EXPECT_EQ(EndOfChain, disk.entryOnDisk(cluster)) << cluster;
    EXPECT_EQ(7, disk.entryOnDisk(200000));
}

TEST(ClusterTable, AllocationIsFirstFitAndStaysInMemoryUntilWrittenBack) {
    TableOnFakeDisk disk{RecorderLayout(9)};
    ClusterTable& table = disk.table;
    EXPECT_EQ(6, table.allocate());
    EXPECT_EQ(7, table.allocateAfter(6));
    EXPECT_EQ(8, table.allocateAfter(7));
    EXPECT_EQ(-1, table.allocateAfter(8));
    EXPECT_EQ(7, table.entryOf(6));
    EXPECT_EQ(8, table.entryOf(7));
    EXPECT_EQ(EndOfChain, table.entryOf(8));
    EXPECT_EQ(0, disk.fake.writeCount);
    EXPECT_EQ(FreeCluster, disk.entryOnDisk(6));

    // Freed clusters are found again, lowest first.
    EXPECT_TRUE(table.freeChain(7));
    EXPECT_EQ(7, table.allocate());
    EXPECT_EQ(8, table.allocate());
    EXPECT_EQ(-1, table.allocate());
}

TEST(ClusterTable, FreeChainFreesEveryLinkAndWritesOnlyTheTableClusterThatChanged) {
    RecorderLayout layout(12);
    layout.addChain({6, 9, 7});
    layout.addChain({8, 10});
    TableOnFakeDisk disk{layout, 12};
    disk.fake.calls.clear();
    EXPECT_TRUE(disk.table.freeChain(6));
    for (std::int32_t cluster : {6, 9, 7}) {
        EXPECT_EQ(FreeCluster, disk.table.entryOf(cluster)) << cluster;
        EXPECT_EQ(FreeCluster, disk.entryOnDisk(cluster)) << cluster;
    }
    EXPECT_EQ(10, disk.entryOnDisk(8));
    // The other four hold what they held.
    EXPECT_EQ((std::vector<std::string>{"SetFilePointer 0", "WriteFile 1048576"}), disk.fake.calls);

    // A failed table write is the result, and the next write-back tries again.
    disk.fake.failWriteAt = disk.fake.writeCount + 1;
    EXPECT_FALSE(disk.table.freeChain(8));
    EXPECT_TRUE(disk.table.writeBack());
    EXPECT_EQ(FreeCluster, disk.entryOnDisk(10));
}

TEST(ClusterTable, FreeChainStopsWhereAChainIsDamaged) {
    RecorderLayout layout(30);
    layout.addChain({6, 7, 8});
    layout.setEntry(8, 6);  // a loop
    layout.addChain({10, 2});  // into the reserved clusters
    layout.setEntry(12, std::numeric_limits<std::int32_t>::max());  // out of the table
    layout.addChain({14, 15});
    layout.setEntry(15, 0);  // a free entry: the walk must not go on to cluster 0
    TableOnFakeDisk disk{layout, 30};
    ClusterTable& table = disk.table;

    EXPECT_TRUE(table.freeChain(6));
    for (std::int32_t cluster : {6, 7, 8}) EXPECT_EQ(FreeCluster, table.entryOf(cluster)) << cluster;

    EXPECT_TRUE(table.freeChain(10));
    EXPECT_EQ(FreeCluster, table.entryOf(10));
    EXPECT_EQ(EndOfChain, table.entryOf(2));

    EXPECT_TRUE(table.freeChain(12));
    EXPECT_EQ(FreeCluster, table.entryOf(12));

    EXPECT_TRUE(table.freeChain(14));
    EXPECT_EQ(FreeCluster, table.entryOf(14));
    EXPECT_EQ(EndOfChain, table.entryOf(0));

    for (std::int32_t first : {-1, -7, 0, 5, ClusterTable::maxClusterCount, std::numeric_limits<std::int32_t>::min()})
        EXPECT_TRUE(table.freeChain(first)) << first;
    for (std::int32_t reserved = 0; reserved <= 5; ++reserved) EXPECT_EQ(EndOfChain, table.entryOf(reserved));
}

TEST(ClusterTable, ClusterNumbersOutsideTheTableAreEndOfChain) {
    TableOnFakeDisk disk{RecorderLayout(9)};
    ClusterTable& table = disk.table;
    for (std::int32_t cluster : {-2, -1, ClusterTable::maxClusterCount, std::numeric_limits<std::int32_t>::max(),
                                 std::numeric_limits<std::int32_t>::min()})
        EXPECT_EQ(EndOfChain, table.entryOf(cluster)) << cluster;
    // No cluster is used up for a predecessor that cannot hold it.
    EXPECT_EQ(-1, table.allocateAfter(ClusterTable::maxClusterCount));
    EXPECT_EQ(-1, table.allocateAfter(-3));
    EXPECT_EQ(6, table.allocate());
}

TEST(ClusterTable, BuildForFormatProbesTheWholeDiskAndKeepsTheSignatureSector) {
    // The old table was made for a larger disk: its entries past the drive's end must not stay free.
    RecorderLayout old(160);
    old.addChain({40, 7, 99});
    FakePlatform fake;
    std::vector<std::uint8_t>& drive = fake.addDrive(0, 100u << 20);
    old.copyInto(drive);
    fake.putSignature(0);
    drive[300] = 0x5A;  // not interpreted, but it goes back as it was
    const std::vector<std::uint8_t> signatureSector(drive.begin(), drive.begin() + 512);
    RecorderDisk disk(&fake);
    disk.create();
    ClusterTable table(disk);
    table.load();

    testing::internal::CaptureStdout();
    EXPECT_TRUE(table.buildForFormat());
    const std::string meter = testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, meter.find('.'));

    EXPECT_EQ(signatureSector, std::vector<std::uint8_t>(drive.begin(), drive.begin() + 512));
    std::vector<std::int32_t> entries(ClusterTable::maxClusterCount);
    std::memcpy(entries.data(), drive.data() + 512, entries.size() * 4);
    for (std::int32_t cluster = 0; cluster < ClusterTable::maxClusterCount; ++cluster) {
        const std::int32_t expected = cluster >= 6 && cluster < 100 ? FreeCluster : EndOfChain;
        if (entries[std::size_t(cluster)] != expected) {
            ADD_FAILURE() << "entry of cluster " << cluster << " is " << entries[std::size_t(cluster)];
            break;
        }
    }
}
}  // namespace

namespace {
TEST(ClusterTable, UnreadableTableAreaCountsAsEndOfChain) {
    // A drive that ends in the middle of cluster 3: the rest of the table cannot be read.
    FakePlatform fake;
    std::vector<std::uint8_t>& drive = fake.addDrive(0, (3u << 20) + (1u << 19));
    fake.putSignature(0);
    std::vector<std::uint8_t> zeros(drive.size() - 512, 0);
    std::memcpy(drive.data() + 512, zeros.data(), zeros.size());
    RecorderDisk disk(&fake);
    disk.create();
    ClusterTable table(disk);
    table.load();
    // Only the readable entries are free; everything the disk could not deliver is not.
    const std::int32_t lastReadable = (((3 << 20) + (1 << 19)) - 512) / 4 - 1;
    EXPECT_EQ(lastReadable, table.lastCluster());
    EXPECT_EQ(FreeCluster, table.entryOf(lastReadable));
    EXPECT_EQ(EndOfChain, table.entryOf(lastReadable + 1));
    EXPECT_EQ(EndOfChain, table.entryOf(ClusterTable::maxClusterCount - 1));

    // Its stand-ins never reach the disk.
    EXPECT_FALSE(table.isReadWhole());
    const int writes = fake.writeCount;
    EXPECT_FALSE(table.writeBack());
    EXPECT_FALSE(table.freeChain(6));
    testing::internal::CaptureStdout();
    EXPECT_FALSE(table.buildForFormat());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(writes, fake.writeCount);
}

TEST(ClusterTable, AShortReadOfATableClusterMakesTheTableUnwritable) {
    FakePlatform fake;
    RecorderLayout(ClusterTable::maxClusterCount).copyInto(fake.addDrive(0, 20u << 20));
    fake.putSignature(0);
    RecorderDisk disk(&fake);
    disk.create();
    fake.shortReadAt = fake.readCount + 3;  // cluster 2 delivers its first half
    ClusterTable table(disk);
    table.load();
    EXPECT_FALSE(table.isReadWhole());
    // Cluster 2 holds the entries of clusters 524160 to 786303.
    EXPECT_EQ(FreeCluster, table.entryOf(655231));
    EXPECT_EQ(EndOfChain, table.entryOf(655232));
    EXPECT_TRUE(table.isEntryRead(655231));
    EXPECT_FALSE(table.isEntryRead(655232));
    EXPECT_TRUE(table.isEntryRead(786304));
    EXPECT_FALSE(table.writeBack());
}
}  // namespace
