// The image commands as a user meets them: the built tool run on small disk image files,
// with Velmoran.img in its work folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/BackupBytes.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

class ImageCommandTest : public ::testing::Test {
protected:
    // A signed disk of `size` bytes with the layout's table and a mark at the end of every
    // megabyte from the directory on and at the very end.
    std::string disk(std::uint64_t size, const RecorderLayout& layout) {
        const std::string path = temp.makeImage("disk.img", size, true);
        layout.writeTo(path);
        for (std::uint64_t end = 6 * mebibyte; end <= size; end += mebibyte) TempDir::writeAt(path, end - 4, "mark", 4);
        TempDir::writeAt(path, size - 4, "last", 4);
        return path;
    }
    ToolResult image(const std::string& word, const std::string& drive) {
        return ToolRunner::run({"image", word}, {drive}, temp.path());
    }
    std::string imageFile() const { return temp.file("Velmoran.img"); }

    TempDir temp;
};

TEST_F(ImageCommandTest, SaveCopiesTheWholeDiskAndLoadWritesAChangedImageBack) {
    const std::string drive = disk(10 * mebibyte, RecorderLayout(10));
    const ToolResult saved = image("save", drive);
    EXPECT_EQ("", saved.output);
    EXPECT_EQ(0, saved.status);
    std::string bytes = TempDir::readAll(imageFile());
    EXPECT_EQ(10 * mebibyte, bytes.size());
    EXPECT_TRUE(bytes == TempDir::readAll(drive));

    bytes[600] = 0x5A;
    bytes[7 * mebibyte + 3] = 'x';
    bytes.back() = 'z';
    TempDir::writeAll(imageFile(), bytes);
    const ToolResult loaded = image("load", drive);
    EXPECT_EQ("Laden des Image\n", loaded.output);  // a total of 4 data clusters never ticks
    EXPECT_EQ(0, loaded.status);
    EXPECT_TRUE(bytes == TempDir::readAll(drive));
}

TEST_F(ImageCommandTest, LoadOfAMissingOrEmptyImageWritesNothingAndAShortOneKeepsTheDirectory) {
    const std::string drive = disk(10 * mebibyte, RecorderLayout(13));  // 7 data clusters in the table
    const std::string before = TempDir::readAll(drive);
    const ToolResult missing = image("load", drive);
    EXPECT_EQ("Datei Velmoran.img konnte nicht geoeffnet werden!\n", missing.output);
    EXPECT_EQ(1, missing.status);

    TempDir::writeAll(imageFile(), "");
    const ToolResult empty = image("load", drive);
    EXPECT_EQ("Laden des Image\n.100\n", empty.output);
    EXPECT_EQ(0, empty.status);
    EXPECT_TRUE(before == TempDir::readAll(drive));

    // Ending in front of the directory cluster, the image carries no directory.
    const std::string shortImage(5 * mebibyte, 's');
    TempDir::writeAll(imageFile(), shortImage);
    const ToolResult shorter = image("load", drive);
    EXPECT_EQ("Laden des Image\n......100\n", shorter.output);
    EXPECT_EQ(0, shorter.status);
    EXPECT_TRUE(shortImage + before.substr(shortImage.size()) == TempDir::readAll(drive));
}

TEST_F(ImageCommandTest, WipeZerosTheWholeMegabytesButTheSignature) {
    const std::string drive = disk(13 * mebibyte + 1536, RecorderLayout(13));
    const std::string before = TempDir::readAll(drive);
    const ToolResult wiped = image("wipe", drive);
    // Meter total 7; thirteen steps, the failing write beyond cluster 12 included.
    EXPECT_EQ(".........100\n", wiped.output);
    EXPECT_EQ(0, wiped.status);
    std::string expected(13 * mebibyte, '\0');
    std::memcpy(&expected[0], "velmoran hd V1.02", 18);
    expected += before.substr(13 * mebibyte);  // the partial megabyte at the end stays
    EXPECT_TRUE(expected == TempDir::readAll(drive));
}

TEST_F(ImageCommandTest, FormatLeavesAnEmptyFileSystemSizedToTheDisk) {
    RecorderLayout old(64);
    old.addChain({6, 9});
    old.putSlot(0, "Alt", 6, 1, 5);
    // A partial cluster at the end holds no data: EndOfChain, as every cluster beyond the disk.
    const std::string drive = disk(64 * mebibyte + 512, old);
    TempDir::writeAt(drive, 300, "x", 1);
    const std::string signatureSector = TempDir::readAll(drive).substr(0, 512);

    const ToolResult formatted = image("format", drive);
    // Both meters have the 58 data clusters of the old table as total; the table build's
    // count goes on from the 64 steps of the wipe.
    EXPECT_EQ(".........10.........20.........60.........70.........110"
              ".........120.........160.........170.........210",
              formatted.output);
    EXPECT_EQ(0, formatted.status);

    const std::string after = TempDir::readAll(drive);
    EXPECT_EQ(signatureSector, after.substr(0, 512));
    std::vector<std::int32_t> entries(RecorderLayout::maxClusterCount);
    std::memcpy(entries.data(), after.data() + 512, entries.size() * 4);
    for (std::int32_t cluster = 0; cluster < RecorderLayout::maxClusterCount; ++cluster) {
        if (entries[std::size_t(cluster)] != (cluster >= 6 && cluster < 64 ? 0 : -1)) {
            ADD_FAILURE() << "entry of cluster " << cluster << " is " << entries[std::size_t(cluster)];
            break;
        }
    }
    EXPECT_TRUE(std::string(mebibyte, '\0') == after.substr(5 * mebibyte, mebibyte));
    EXPECT_EQ("-- 100 Prozent frei\n", ToolRunner::run({"list"}, {drive}).output);

    // The formatted disk takes a recording again.
    TempDir::writeAll(temp.file("neu.vlm"), BackupBytes::header() + BackupBytes::entry("Neu", 40, 2, 0) +
                                                BackupBytes::cluster(1) + BackupBytes::cluster(2));
    EXPECT_EQ(0, ToolRunner::run({"movie", "load", "neu.vlm"}, {drive}, temp.path()).status);
    EXPECT_EQ("00 Neu                               2 MB\n-- 96 Prozent frei\n",
              ToolRunner::run({"list"}, {drive}).output);
}

TEST_F(ImageCommandTest, ALoadThatStopsBeforeTheEndOfTheImageFails) {
    const std::string drive = disk(10 * mebibyte, RecorderLayout(13));
    std::string larger(12 * mebibyte, '\0');
    for (std::size_t k = 4096; k < larger.size(); k += 4096) larger[k] = static_cast<char>('a' + k / 4096 % 26);
    std::memcpy(&larger[0], "velmoran hd V1.02", 18);
    TempDir::writeAll(imageFile(), larger);
    const ToolResult tooLarge = image("load", drive);
    EXPECT_EQ("Laden des Image\n.........100\n"
              "Schreiben auf die Festplatte bei Byte 10485760 fehlgeschlagen, das Image ist nur bis dorthin geladen!\n"
              "Das Inhaltsverzeichnis (Cluster 5) ist leer!\n",
              tooLarge.output);
    EXPECT_EQ(1, tooLarge.status);
    // Not all that its directory names reached the disk: the directory stays empty.
    std::string loaded = larger.substr(0, 10 * mebibyte);
    loaded.replace(5 * mebibyte, mebibyte, std::string(mebibyte, '\0'));
    EXPECT_TRUE(loaded == TempDir::readAll(drive));
#ifndef _WIN32
    // A folder opens for reading here, but every read of it fails.
    const std::string before = TempDir::readAll(drive);
    std::remove(imageFile().c_str());
    ASSERT_TRUE(std::filesystem::create_directory(imageFile()));
    const ToolResult unreadable = image("load", drive);
    EXPECT_EQ("Laden des Image\n.100\n"
              "Fehler beim Lesen der Datei Velmoran.img bei Byte 0, das Image ist nur bis dorthin geladen!\n",
              unreadable.output);
    EXPECT_EQ(1, unreadable.status);
    EXPECT_TRUE(before == TempDir::readAll(drive));
#endif
}

TEST_F(ImageCommandTest, SaveEndsWithTheShortLastChunkAndFailsWhenTheImageCannotBeWritten) {
    const std::string drive = temp.makeImage("disk.img", 2 * mebibyte + 1024, true);
    TempDir::writeAt(drive, 2 * mebibyte + 1020, "last", 4);
    const ToolResult saved = image("save", drive);
    EXPECT_EQ(0, saved.status);
    EXPECT_TRUE(TempDir::readAll(drive) == TempDir::readAll(imageFile()));
    if (!ToolRunner::canLimitFileSize()) GTEST_SKIP() << "file sizes cannot be limited here";
    // The file system fills up in a whole chunk, or only when the short last chunk is flushed.
    for (const std::uint64_t limit : {mebibyte + mebibyte / 2, 2 * mebibyte + 512}) {
        const ToolResult full = ToolRunner::runWithFileSizeLimit({"image", "save"}, {drive}, temp.path(), limit);
        EXPECT_EQ("Schreiben in Datei Velmoran.img fehlgeschlagen!\n", full.output) << limit;
        EXPECT_EQ(1, full.status) << limit;
    }
}
}  // namespace
