#include "fs/Directory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "base/HostFileReader.h"
#include "base/HostFileWriter.h"
#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"
#include "fs/Recording.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::size_t directoryStart = 5u << 20;

// A 7 MiB recorder disk on a fake drive; the directory is loaded by load().
class DirectoryTest : public ::testing::Test {
protected:
    DirectoryTest() : drive(fake.addDrive(0, 7u << 20)) {
        fake.putSignature(0);
        disk.create();
    }

    void putSlot(std::int32_t slot, const std::string& name, std::int32_t firstCluster = 6) {
        const std::vector<std::uint8_t> bytes = RecorderLayout::slotOnDisk(name, firstCluster, 0, 1, 0);
        std::copy(bytes.begin(), bytes.end(), drive.begin() + std::ptrdiff_t(directoryStart + 256 * std::size_t(slot)));
    }

    std::vector<std::uint8_t> diskBytes(std::size_t position, std::size_t length) const {
        return std::vector<std::uint8_t>(drive.begin() + std::ptrdiff_t(position),
                                         drive.begin() + std::ptrdiff_t(position + length));
    }

    FakePlatform fake;
    std::vector<std::uint8_t>& drive;
    RecorderDisk disk{&fake};
    ClusterTable table{disk};
    Directory directory{disk, table};
};

TEST_F(DirectoryTest, EntriesAreStoredWithWordSwappedNamesAndLittleEndianWords) {
    const std::uint8_t slot4[] = {'D', 'C', 'B', 'A', 0, 'G', 'F', 'E'};
    std::memcpy(&drive[directoryStart + 4 * 256], slot4, sizeof slot4);
    const std::uint8_t words[] = {0x11, 0x22, 0x33, 0x44,  // reserved word 1
                                  0, 0, 0, 0, 0, 0, 0, 0,  // reserved words 2 and 3
                                  6, 0, 0, 0,              // first cluster
                                  4, 3, 2, 1,              // start offset
                                  3, 0, 0, 0,              // whole MiB
                                  5, 0, 0, 0,              // remaining bytes
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAA, 0xBB, 0xCC, 0xDD};
    std::memcpy(&drive[directoryStart + 4 * 256 + 212], words, sizeof words);
    directory.load();

    DirEntry* entry = directory.entryAt(4);
    ASSERT_NE(nullptr, entry);
    EXPECT_EQ("ABCDEFG", entry->name());
    EXPECT_EQ(6, entry->firstCluster());
    EXPECT_EQ(0x01020304u, entry->startOffset());
    EXPECT_EQ(3145733u, entry->sizeBytes());
    EXPECT_EQ(0x11, entry->image()[212]);

    const std::vector<std::uint8_t> before = diskBytes(directoryStart + 4 * 256, 512);
    entry->setFirstCluster(0x0A0B0C0D);
    entry->writeBack();
    std::vector<std::uint8_t> expected = before;
    const std::uint8_t movedCluster[] = {0x0D, 0x0C, 0x0B, 0x0A};
    std::memcpy(&expected[224], movedCluster, 4);
    EXPECT_EQ(expected, diskBytes(directoryStart + 4 * 256, 512));
    EXPECT_EQ(0x0A0B0C0D, entry->firstCluster());
}

TEST_F(DirectoryTest, ASlotIsUsedWhenItsFirstFourBytesAreNotZero) {
    putSlot(1, "Eins");
    putSlot(3, "abc");     // the terminator is the fourth byte
    putSlot(2, std::string("\0xy", 3));  // an empty name, but not four zero bytes
    putSlot(5, "", 6);     // nothing but a cluster number: free
    putSlot(4095, "Ende");
    directory.load();

    EXPECT_EQ(nullptr, directory.entryAt(-1));
    EXPECT_EQ(nullptr, directory.entryAt(4096));
    EXPECT_EQ(nullptr, directory.entryAt(0));
    EXPECT_EQ(nullptr, directory.entryAt(5));
    ASSERT_NE(nullptr, directory.entryAt(3));
    EXPECT_EQ("abc", directory.entryAt(3)->name());

    std::vector<std::int32_t> used;
    for (DirEntry* entry = directory.firstUsed(); entry; entry = directory.nextUsed()) used.push_back(entry->index());
    EXPECT_EQ((std::vector<std::int32_t>{1, 2, 3, 4095}), used);
    EXPECT_EQ(nullptr, directory.nextUsed());
}

TEST_F(DirectoryTest, FirstFreeIsTheLowestUnusedSlot) {
    for (std::int32_t slot : {0, 1, 2, 4}) putSlot(slot, "Belegt");
    directory.load();
    ASSERT_NE(nullptr, directory.firstFree());
    EXPECT_EQ(3, directory.firstFree()->index());
    EXPECT_FALSE(directory.firstFree()->isValid());
    EXPECT_EQ("", directory.firstFree()->name());
    EXPECT_EQ(-1, directory.firstFree()->firstCluster());
    EXPECT_EQ(0u, directory.firstFree()->sizeBytes());
}

TEST_F(DirectoryTest, AFullDirectoryHasNoFreeSlot) {
    for (std::int32_t slot = 0; slot < Directory::entryCount; ++slot) putSlot(slot, "Voll");
    directory.load();
    EXPECT_EQ(nullptr, directory.firstFree());
    testing::internal::CaptureStdout();
    Recording recording(directory, Recording::FirstFreeSlot{});
    EXPECT_EQ("Inhaltsverzeichnis voll!", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, recording.entry());
}

TEST_F(DirectoryTest, LoadingReadsTheDirectoryClusterAtOnce) {
    fake.calls.clear();
    directory.load();
    EXPECT_EQ((std::vector<std::string>{"SetFilePointer 5242880", "ReadFile 1048576"}), fake.calls);
}

TEST_F(DirectoryTest, AnUnreadableSectorCostsOnlyItsTwoSlots) {
    for (std::int32_t slot : {0, 1, 2, 4}) putSlot(slot, "Belegt");
    fake.unreadableSectors[0] = {10241};  // slots 2 and 3
    const int readsBefore = fake.readCount;
    directory.load();
    // The cluster read fails; then one read per sector.
    EXPECT_EQ(1 + Directory::entryCount / 2, fake.readCount - readsBefore);
    EXPECT_NE(nullptr, directory.entryAt(1));
    EXPECT_EQ(nullptr, directory.entryAt(2));
    EXPECT_NE(nullptr, directory.entryAt(4));
    // A load must not write into them: their recordings and the sector's other slot would be lost.
    EXPECT_EQ(5, directory.firstFree()->index());
}

TEST_F(DirectoryTest, AShortReadOfTheDirectoryClusterIsNotTakenForTheWhole) {
    // Linux delivers the sectors in front of a bad one and stops; here the first half comes.
    for (std::int32_t slot = 0; slot < 2050; ++slot) putSlot(slot, "Belegt");
    putSlot(4095, "Letzter");
    fake.shortReadAt = fake.readCount + 1;
    directory.load();
    for (const std::int32_t slot : {2048, 2049, 4095}) EXPECT_NE(nullptr, directory.entryAt(slot)) << slot;
    // A load must not take a slot that holds a recording.
    EXPECT_EQ(2050, directory.firstFree()->index());
}

TEST_F(DirectoryTest, ClearingSlotSevenLeavesSlotSixInItsSector) {
    putSlot(6, "Sechs");
    putSlot(7, "Sieben");
    directory.load();
    const std::vector<std::uint8_t> slotSix = diskBytes(5244416, 256);
    directory.entryAt(7)->clear();
    EXPECT_EQ(slotSix, diskBytes(5244416, 256));
    EXPECT_EQ(std::vector<std::uint8_t>(256, 0), diskBytes(5244416 + 256, 256));
    EXPECT_EQ(nullptr, directory.entryAt(7));

    // Clearing a free entry writes nothing.
    const int writes = fake.writeCount;
    directory.firstFree()->clear();
    EXPECT_EQ(writes, fake.writeCount);
}

TEST_F(DirectoryTest, FailedWritesAreReportedAndAFailedClearKeepsTheRecording) {
    putSlot(9, "Neun");
    directory.load();
    DirEntry* entry = directory.entryAt(9);
    entry->setFirstCluster(42);
    // Without its sector the neighbouring slot would be lost: nothing is written.
    fake.failReadAt = fake.readCount + 1;
    const int writes = fake.writeCount;
    EXPECT_FALSE(entry->writeBack());
    EXPECT_EQ(writes, fake.writeCount);
    fake.shortWriteAt = fake.writeCount + 1;
    EXPECT_FALSE(entry->writeBack());
    EXPECT_TRUE(entry->writeBack());

    const std::vector<std::uint8_t> slotBefore = diskBytes(directoryStart + 9 * 256, 256);
    fake.failWriteAt = fake.writeCount + 1;
    EXPECT_FALSE(entry->clear());
    EXPECT_EQ(entry, directory.entryAt(9));
    EXPECT_EQ("Neun", entry->name());
    EXPECT_EQ(slotBefore, diskBytes(directoryStart + 9 * 256, 256));
    EXPECT_TRUE(entry->clear());
    EXPECT_EQ(std::vector<std::uint8_t>(256, 0), diskBytes(directoryStart + 9 * 256, 256));
}

TEST_F(DirectoryTest, ARecordingIsFoundByItsNumberOrSaysThatItIsNot) {
    putSlot(2, "Zwei");
    directory.load();
    Recording found(directory, 2);
    EXPECT_EQ(directory.entryAt(2), found.entry());
    EXPECT_EQ(2, found.number());

    for (std::int32_t number : {3, -1, 4096}) {
        testing::internal::CaptureStdout();
        Recording missing(directory, number);
        EXPECT_EQ("Eintrag " + std::to_string(number) + " nicht gueltig!\n", testing::internal::GetCapturedStdout());
        EXPECT_EQ(nullptr, missing.entry());
    }

    Recording fresh(directory, Recording::FirstFreeSlot{});
    ASSERT_NE(nullptr, fresh.entry());
    EXPECT_EQ(0, fresh.entry()->index());
}

TEST(DirectoryList, WithoutTheRecorderDiskNothingIsListed) {
    FakePlatform fake;
    fake.addDrive(0, 7u << 20);
    RecorderDisk disk(&fake);
    ClusterTable table(disk);
    Directory directory(disk, table);
    testing::internal::CaptureStdout();
    disk.create();
    testing::internal::GetCapturedStdout();
    directory.load();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(directory.list());
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(nullptr, directory.firstUsed());
}

TEST(DirEntryFile, EntriesTravelThroughFilesByteForByte) {
    TempDir temp;
    std::string bytes(256, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(k + 1);
    const std::string source = temp.file("entry.bin");
    TempDir::writeAll(source, bytes);

    HostFileReader reader(source);
    DirEntry entry(reader);
    EXPECT_TRUE(entry.isValid());
    EXPECT_EQ(-1, entry.index());
    EXPECT_EQ(0xE4E3E2E1u, static_cast<std::uint32_t>(entry.firstCluster()));

    const std::string copy = temp.file("copy.bin");
    {
        HostFileWriter writer(copy);
        EXPECT_TRUE(entry.writeTo(writer));
    }
    EXPECT_EQ(bytes, TempDir::readAll(copy));

    // An entry from a file belongs to no slot.
    EXPECT_FALSE(entry.writeBack());

    TempDir::writeAll(source, bytes.substr(0, 100));
    HostFileReader shortReader(source);
    testing::internal::CaptureStdout();
    DirEntry shortEntry(shortReader);
    EXPECT_EQ("Laengenfehler beim Lesen des Entrys -1!\n", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(shortEntry.isValid());
}

TEST(DirEntryName, ANameWithoutTerminatorEndsWithItsField) {
    FakePlatform fake;
    std::vector<std::uint8_t>& drive = fake.addDrive(0, 6u << 20);
    fake.putSignature(0);
    const std::vector<std::uint8_t> slot = RecorderLayout::slotOnDisk(std::string(212, 'n'), 0x6E6E6E6E, 0, 0, 0);
    std::copy(slot.begin(), slot.end(), drive.begin() + std::ptrdiff_t(directoryStart));
    std::memset(&drive[directoryStart + 212], 'x', 12);
    RecorderDisk disk(&fake);
    disk.create();
    DirEntry entry(disk, 0);
    EXPECT_EQ(std::string(212, 'n'), entry.name());
}
}  // namespace
