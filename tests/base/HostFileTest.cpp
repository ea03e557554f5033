#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/HostFileReader.h"
#include "base/HostFileWriter.h"
#include "support/TempDir.h"

namespace {
std::string captured() { return testing::internal::GetCapturedStdout(); }

TEST(HostFileReader, ReadExactAsksForAllBytesAndReadSomeTakesWhatIsThere) {
    TempDir temp;
    const std::string path = temp.file("ten.bin");
    TempDir::writeAll(path, "0123456789");

    HostFileReader reader(path);
    ASSERT_TRUE(reader.isOpen());
    EXPECT_EQ(path, reader.path());
    char buffer[28] = {};
    testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readExact(buffer, sizeof buffer));
    EXPECT_EQ("Nicht ausreichende Bytes verf\xFCgbar beim Lesen der Datei " + path + "!\n", captured());
    EXPECT_EQ("0123456789", std::string(buffer, 10));

    HostFileReader again(path);
    EXPECT_TRUE(again.readExact(buffer, 4));
    EXPECT_EQ("0123", std::string(buffer, 4));
    std::unique_ptr<char[]> chunk(new char[1u << 20]);
    testing::internal::CaptureStdout();
    EXPECT_EQ(6u, again.readSome(chunk.get(), 1u << 20));
    EXPECT_EQ(0u, again.readSome(chunk.get(), 1u << 20));
    EXPECT_EQ("", captured());
    EXPECT_EQ("456789", std::string(chunk.get(), 6));
}

TEST(HostFileReader, AReadErrorHasItsOwnMessage) {
    TempDir temp;
    // A folder opens for reading on POSIX systems, but cannot be read.
    testing::internal::CaptureStdout();
    HostFileReader reader(temp.path());
    const std::string openMessage = captured();
    if (!reader.isOpen()) GTEST_SKIP() << "folders do not open as files here";
    EXPECT_EQ("", openMessage);
    char buffer[16];
    testing::internal::CaptureStdout();
    EXPECT_FALSE(reader.readExact(buffer, sizeof buffer));
    EXPECT_EQ("Fehler beim Lesen der Datei " + temp.path() + "!\n", captured());
}

TEST(HostFile, MissingFilesAndFoldersAreReportedOnce) {
    TempDir temp;
    const std::string missingFile = temp.file("fehlt.vlm");
    testing::internal::CaptureStdout();
    HostFileReader reader(missingFile);
    EXPECT_EQ("Datei " + missingFile + " konnte nicht geoeffnet werden!\n", captured());
    EXPECT_FALSE(reader.isOpen());
    char buffer[4];
    EXPECT_FALSE(reader.readExact(buffer, 4));
    EXPECT_EQ(0u, reader.readSome(buffer, 4));

    const std::string inMissingFolder = temp.file("gibt-es-nicht/Velmoran_3.vlm");
    testing::internal::CaptureStdout();
    HostFileWriter writer(inMissingFolder);
    EXPECT_FALSE(writer.isOpen());
    EXPECT_FALSE(writer.write("abc", 3));
    EXPECT_FALSE(writer.close());
    EXPECT_EQ("Datei " + inMissingFolder + " konnte nicht geoeffnet werden!\n", captured());
}

TEST(HostFileWriter, BytesPassUnchangedAndAnExistingFileIsEmptied) {
    TempDir temp;
    const std::string path = temp.file("bytes.bin");
    TempDir::writeAll(path, std::string(1000, 'z'));
    const std::string bytes("\x0D\x0A\x1A\x0A\x0D\x00\x1A", 7);
    {
        HostFileWriter writer(path);
        ASSERT_TRUE(writer.isOpen());
        EXPECT_TRUE(writer.write(bytes.data(), bytes.size()));
    }
    EXPECT_EQ(bytes, TempDir::readAll(path));

    HostFileReader reader(path);
    char back[16] = {};
    EXPECT_EQ(bytes.size(), reader.readSome(back, sizeof back));
    EXPECT_EQ(bytes, std::string(back, bytes.size()));
}

TEST(HostFileWriter, AFailingWriteIsReported) {
    const std::string full = "/dev/full";
    if (!std::filesystem::exists(full)) GTEST_SKIP() << "no /dev/full here";
    HostFileWriter writer(full);
    ASSERT_TRUE(writer.isOpen());
    // Larger than any stream buffer, so the write reaches the device at once.
    const std::vector<char> block(1u << 20, 'v');
    testing::internal::CaptureStdout();
    EXPECT_FALSE(writer.write(block.data(), block.size()));
    EXPECT_EQ("Schreiben in Datei /dev/full fehlgeschlagen!\n", captured());

    // A small write waits in a buffered stream: its failure shows when the file is closed.
    HostFileWriter buffered(full, HostFileWriter::pieceBuffer);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(buffered.write("abc", 3));
    EXPECT_FALSE(buffered.close());
    EXPECT_EQ("Schreiben in Datei /dev/full fehlgeschlagen!\n", captured());
    EXPECT_FALSE(buffered.isOpen());
    EXPECT_FALSE(buffered.write("abc", 3));
}

TEST(HostFile, PathsLongerThan255CharactersAreUsedWhole) {
    TempDir temp;
    std::filesystem::path folder = temp.path();
    for (int level = 0; level < 5; ++level) folder /= std::string(60, char('a' + level));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "Velmoran_1.vlm").string();
    ASSERT_GT(path.size(), 255u);
    {
        HostFileWriter writer(path);
        ASSERT_TRUE(writer.isOpen());
        EXPECT_EQ(path, writer.path());
        EXPECT_TRUE(writer.write("lang", 4));
    }
    HostFileReader reader(path);
    char buffer[4];
    EXPECT_TRUE(reader.readExact(buffer, 4));
    EXPECT_EQ("lang", std::string(buffer, 4));
}
}  // namespace
