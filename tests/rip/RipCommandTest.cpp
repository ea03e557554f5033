// The rip as a user meets it: the built tool on recorder disk images and backup files, its
// output files compared byte for byte with the payloads put into the records.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/CurrentFolder.h"
#include "support/FailingReads.h"
#include "support/InMemoryRecorder.h"
#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

// 300 records, about 2.3 MiB: video and audio with records of ids 3, 4 and 10 between them.
RecordStream movieRecords(std::uint32_t count = 300) {
    const std::uint32_t pattern[] = {1, 2, 1, 3, 2, 1, 4, 2, 10};
    RecordStream records;
    for (std::uint32_t k = 0; k < count; ++k) records.add(pattern[k % 9], RecordStream::payload(k));
    return records;
}

// The meter of a rip of at least 101 records run to its end.
const std::string fullMeter =
    ".........10.........20.........30.........40.........50\n"
    ".........60.........70.........80.........90.........100\n";
const std::string videoWarning = "Audioquelle enthaelt Viediodaten!";

class RipCommandTest : public ::testing::Test {
protected:
    RipCommandTest() : image(temp.makeImage("disk.img", 16 * mebibyte, true)) {}

    // Recording `slot` with the records over the chain.
    void putRecording(std::int32_t slot, const std::string& name, const std::vector<std::int32_t>& chain,
                      const std::string& stream, std::uint64_t sizeBytes, std::uint32_t startOffset = 0) {
        layout.addChain(chain);
        layout.writeTo(image);
        RecordStream::writeOverChain(image, chain, stream);
        RecordStream::writeSlot(image, slot, name, chain.empty() ? -1 : chain.front(), startOffset, sizeBytes);
    }

    ToolResult rip(const char* mode, const std::string& word) {
        return ToolRunner::run({mode, "rip", word}, {image}, temp.path());
    }
    // A backup file needs no recorder disk: none is given.
    ToolResult ripFile(const char* mode, const std::string& word) {
        return ToolRunner::run({mode, "rip", word}, {""}, temp.path());
    }

    std::string output(const std::string& name) const { return TempDir::readAll(temp.file(name)); }
    bool exists(const std::string& name) const { return std::filesystem::exists(temp.file(name)); }

    TempDir temp;
    std::string image;
    RecorderLayout layout{16};
};

TEST_F(RipCommandTest, MoviesAndAudioFromTheDiskAndFromABackupFile) {
    const RecordStream records = movieRecords();
    // Out of order, so that records straddle the boundaries between unrelated clusters.
    putRecording(3, "Abendfilm", {9, 7, 12}, records.bytes(), records.size());
    std::string clusters = records.bytes();
    clusters.resize(3 * mebibyte, '\0');
    RecordStream::writeBackupFile(temp.file("abend.vlm"), "Abendfilm", 0, records.size(), clusters);
    const std::string video = records.payloadsOf(1, 1);
    const std::string audio = records.payloadsOf(2, 1);
    const std::string diskStart = "Rippen der Aufnahme 3 \"Abendfilm\"\n";
    const std::string fileStart = "Rippen der Aufnahme \"Abendfilm\" aus der Sicherungsdatei abend.vlm\n";
    // The first video record is the second record; its step prints nothing.
    const std::string audioMeter = "." + videoWarning + fullMeter.substr(1);

    ToolResult result = rip("audio", "3");
    EXPECT_EQ(diskStart + audioMeter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(audio, output("Velmoran_3.mpa"));
    EXPECT_FALSE(exists("Velmoran_3_video.pes") || exists("Velmoran_3_audio.pes"));

    result = rip("movie", "3");
    EXPECT_EQ(diskStart + fullMeter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(video, output("Velmoran_3_video.pes"));
    EXPECT_EQ(audio, output("Velmoran_3_audio.pes"));

    result = ripFile("audio", "abend.vlm");
    EXPECT_EQ(fileStart + audioMeter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(audio, output("abend.mpa"));

    result = ripFile("movie", "abend.vlm");
    EXPECT_EQ(fileStart + fullMeter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(video, output("abend_video.pes"));
    EXPECT_EQ(audio, output("abend_audio.pes"));
}

TEST_F(RipCommandTest, TheStreamRunsFromTheStartOffsetToTheSizeOrTheChainsEnd) {
    // Behind a start offset above 1 MiB: the records begin in the third cluster.
    const std::uint32_t startOffset = 0x180000 + 36;
    RecordStream records;
    records.addBytes(std::string(mebibyte + startOffset, '\x02'));
    const RecordStream movie = movieRecords(150);
    records.addBytes(movie.bytes());
    putRecording(1, "Versetzt", {8, 6, 10, 7}, records.bytes(), records.size(), startOffset);
    RecordStream::writeBackupFile(temp.file("versetzt.vlm"), "Versetzt", startOffset, records.size(), records.bytes());

    // The meter's total counts the skipped start range as well.
    const std::string meter = "." + videoWarning + "........10.........20.........30.100\n";
    ToolResult result = rip("audio", "1");
    EXPECT_EQ("Rippen der Aufnahme 1 \"Versetzt\"\n" + meter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(movie.payloadsOf(2, 0), output("Velmoran_1.mpa"));
    result = ripFile("audio", "versetzt.vlm");
    EXPECT_EQ("Rippen der Aufnahme \"Versetzt\" aus der Sicherungsdatei versetzt.vlm\n" + meter, result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(movie.payloadsOf(2, 0), output("versetzt.mpa"));

    // A chain of one cluster under a size of 5 MiB: the record that would run past the
    // chain's end is not delivered; 127 records of a meter of 639.
    const RecordStream cut = movieRecords(130);
    putRecording(2, "Abgeschnitten", {13}, cut.bytes(), 5 * mebibyte);
    result = rip("movie", "2");
    EXPECT_EQ("Rippen der Aufnahme 2 \"Abgeschnitten\"\n.........10.........100\n", result.output);
    EXPECT_EQ(0, result.status);
    EXPECT_EQ(cut.payloadsOf(1, 1, 127 * 8196), output("Velmoran_2_video.pes"));
    EXPECT_EQ(cut.payloadsOf(2, 1, 127 * 8196), output("Velmoran_2_audio.pes"));
}

TEST_F(RipCommandTest, FailuresNameTheirCause) {
    const RecordStream records = movieRecords(3);
    putRecording(3, "Drei", {6}, records.bytes(), records.size());
    putRecording(6, "Ohne Cluster", {}, "", 5000);
    TempDir::writeAll(temp.file("notes.txt"), "Einkaufen: Milch, Brot\n");
    // Outputs of an earlier rip are emptied even when the rip then fails.
    TempDir::writeAll(temp.file("notes.txt_video.pes"), "alt");
    TempDir::writeAll(temp.file("kurz.vlm"), std::string("velmoran hd V1.02 / vlm 1.0", 28));
    RecordStream::writeBackupFile(temp.file("leer.vlm"), "Leer", 0, 3 * mebibyte, "");
    RecordStream::writeBackupFile(temp.file("versetzt.vlm"), "Versetzt", 100, 3 * mebibyte, "");
    std::filesystem::create_directory(temp.file("Velmoran_3_video.pes"));

    struct Case {
        const char* mode;
        const char* word;
        std::string output;
        int status;
    };
    const Case cases[] = {
        {"movie", "notes.txt", "Datei ist kein VLM-File!", 1},
        {"movie", "fehlt.vlm", "Datei fehlt.vlm konnte nicht geoeffnet werden!\n", 1},
        {"audio", "kurz.vlm", "Laengenfehler beim Lesen des Entrys -1!\nVerzeichniseintrag im VLM-File fehlerhaft!", 1},
        {"movie", "3", "Datei Velmoran_3_video.pes konnte nicht geoeffnet werden!\n", 1},
        {"audio", "5", "Eintrag 5 nicht gueltig!\n", 1},
        // A recording without clusters fails without a message.
        {"audio", "6", "", 1},
        // A backup file that ends behind its entry holds an empty stream; with a start
        // offset its start range cannot be read.
        {"audio", "leer.vlm", "Rippen der Aufnahme \"Leer\" aus der Sicherungsdatei leer.vlm\n", 0},
        {"audio", "versetzt.vlm", "Rippen der Aufnahme \"Versetzt\" aus der Sicherungsdatei versetzt.vlm\n", 1},
    };
    for (const Case& c : cases) {
        const ToolResult result = c.word[0] >= '0' && c.word[0] <= '9' ? rip(c.mode, c.word) : ripFile(c.mode, c.word);
        EXPECT_EQ(c.output, result.output) << c.word;
        EXPECT_EQ(c.status, result.status) << c.word;
    }
    EXPECT_TRUE(exists("notes.txt_video.pes") && exists("notes.txt_audio.pes"));
    EXPECT_EQ("", output("notes.txt_video.pes") + output("notes.txt_audio.pes"));
    EXPECT_FALSE(exists("fehlt_video.pes") || exists("fehlt_audio.pes"));
    EXPECT_TRUE(exists("Velmoran_3_audio.pes"));
    EXPECT_EQ("", output("Velmoran_3_audio.pes"));
    EXPECT_FALSE(exists("Velmoran_5.mpa"));
}

TEST_F(RipCommandTest, OutputsAreNamedAfterTheBackupFile) {
    const RecordStream records = movieRecords(3);
    std::filesystem::create_directory(temp.file("sub"));
    struct Case {
        std::string fileName;
        std::string output;
    };
    const Case cases[] = {
        {"film.vlm", "film.mpa"},
        {"film.VLM", "film.mpa"},
        {"film.vLm", "film.mpa"},
        {"film.bak", "film.bak.mpa"},
        {".vlm", ".vlm.mpa"},
        {"x.vlm", "x.mpa"},
        // Beside the backup file, wherever it lies.
        {temp.file("sub/film.vlm"), "sub/film.mpa"},
    };
    for (const Case& c : cases) {
        const std::string path =
            std::filesystem::path(c.fileName).is_absolute() ? c.fileName : temp.file(c.fileName);
        RecordStream::writeBackupFile(path, "Film", 0, records.size(), records.bytes());
        const ToolResult result = ripFile("audio", c.fileName);
        EXPECT_EQ(0, result.status) << c.fileName;
        EXPECT_EQ(records.payloadsOf(2, 1), output(c.output)) << c.fileName;
        std::filesystem::remove(temp.file(c.output));
    }
}

TEST_F(RipCommandTest, AnUnreadableClusterFailsTheRipAndKeepsWhatWasWritten) {
    const RecordStream records = movieRecords();
    RecorderLayout onDrive(16);
    onDrive.addChain({6, 7, 8});
    onDrive.putSlot(3, "Kratzer", 6, 0, static_cast<std::uint32_t>(records.size()));
    CurrentFolder folder(temp.path());
    for (const bool stopsShort : {false, true}) {  // the read fails, or delivers half of the cluster
        InMemoryRecorder recorder(16, onDrive);
        RecordStream::copyOverChain(recorder.drive(), {6, 7, 8}, records.bytes());
        recorder.directory.load();
        recorder.table.load();
        // The recording's second cluster.
        (stopsShort ? recorder.fake.shortReadAt : recorder.fake.failReadAt) = recorder.fake.readCount + 2;
        recorder.fake.drivesOfUnknownLength = {0};  // else it is read again in pieces

        const ToolResult result = recorder.run({"audio", "rip", "3"});
        // 127 whole records lie in the first cluster; the meter counts to 42 percent of 300.
        EXPECT_EQ("Rippen der Aufnahme 3 \"Kratzer\"\n." + videoWarning + "........10.........20.........30.........40.." +
                      "Cluster konnte nicht vollstaendig gelesen werden!\n",
                  result.output)
            << stopsShort;
        EXPECT_EQ(1, result.status);
        EXPECT_EQ(records.payloadsOf(2, 1, 127 * 8196), output("Velmoran_3.mpa"));
    }
}

TEST_F(RipCommandTest, ABackupFileIsRippedWithoutTouchingADrive) {
    const RecordStream records = movieRecords(3);
    RecordStream::writeBackupFile(temp.file("film.vlm"), "Film", 0, records.size(), records.bytes());
    InMemoryRecorder recorder(16, RecorderLayout(16));
    const std::size_t callsBefore = recorder.fake.calls.size();
    const ToolResult result = recorder.run({"movie", "rip", temp.file("film.vlm")});
    EXPECT_EQ(0, result.status) << result.output;
    EXPECT_EQ(callsBefore, recorder.fake.calls.size());
}

#ifndef _WIN32
TEST_F(RipCommandTest, AFailedWriteIsReportedOnceAndStopsTheRip) {
    // More audio than an output buffers, so that the write fails in the middle of the rip.
    const RecordStream records = movieRecords(1000);
    putRecording(3, "Voll", {9, 7, 12, 6, 8, 10, 11, 13}, records.bytes(), records.size());
    const std::uint64_t limit = 5 * 8192 + 100;
    const ToolResult result = ToolRunner::runWithFileSizeLimit({"audio", "rip", "3"}, {image}, temp.path(), limit);
    const std::string message = "Schreiben in Datei Velmoran_3.mpa fehlgeschlagen!\n";
    EXPECT_EQ(1, result.status);
    ASSERT_GE(result.output.size(), message.size());
    EXPECT_EQ(message, result.output.substr(result.output.size() - message.size())) << result.output;
    EXPECT_EQ(result.output.find("fehlgeschlagen"), result.output.rfind("fehlgeschlagen"));
    EXPECT_EQ(std::string::npos, result.output.find("50")) << "the rip went on";
    // What reached the file stays.
    EXPECT_EQ(records.payloadsOf(2, 1).substr(0, limit), output("Velmoran_3.mpa"));
}

TEST_F(RipCommandTest, AReadErrorInABackupFileFailsTheRipAndKeepsWhatWasRipped) {
    const RecordStream records = movieRecords();
    const std::string file = temp.file("film.vlm");
    RecordStream::writeBackupFile(file, "Film", 0, records.size(), records.bytes());
    const std::uint64_t broken = 150 * 8196 + 100;
    FailingReads failing(file, 284 + broken);
    InMemoryRecorder recorder(16, RecorderLayout(16));
    const ToolResult result = recorder.run({"audio", "rip", file});
    EXPECT_EQ(1, result.status);
    const std::string message = "Fehler beim Lesen der Datei " + file + "!\n";
    ASSERT_GE(result.output.size(), message.size());
    EXPECT_EQ(message, result.output.substr(result.output.size() - message.size())) << result.output;
    EXPECT_EQ(records.payloadsOf(2, 1, 150 * 8196), output("film.mpa"));
}

TEST_F(RipCommandTest, AnOutputNameLongerThanTheSystemAllowsFailsToOpen) {
    // 253 characters are a valid file name, with ".mpa" behind them no longer.
    const std::string name(253, 'n');
    const RecordStream records = movieRecords(3);
    RecordStream::writeBackupFile(temp.file(name), "Lang", 0, records.size(), records.bytes());
    const ToolResult result = ripFile("audio", name);
    EXPECT_EQ("Datei " + name + ".mpa konnte nicht geoeffnet werden!\n", result.output);
    EXPECT_EQ(1, result.status);
}

TEST_F(RipCommandTest, MemoryDoesNotGrowWithTheRecording) {
    // Audio records whose payloads are zero, so that the sparse image stays small.
    auto audioStream = [](std::uint64_t size) {
        std::string stream(size, '\0');
        for (std::uint64_t position = 0; position + 8196 <= size; position += 8196) stream[position] = 2;
        return stream;
    };
    const std::string small = audioStream(2 * 8196);
    const std::string large = audioStream(24 * mebibyte - 1000);
    image = temp.makeImage("big.img", 32 * mebibyte, true);
    layout = RecorderLayout(32);
    std::vector<std::int32_t> chain;
    for (std::int32_t cluster = 6; cluster < 30; ++cluster) chain.push_back(cluster);
    putRecording(1, "Klein", {30}, small, small.size());
    putRecording(2, "Gross", chain, large, large.size());
    RecordStream::writeBackupFile(temp.file("klein.vlm"), "Klein", 0, small.size(), small);
    RecordStream::writeBackupFile(temp.file("gross.vlm"), "Gross", 0, large.size(), large);

    const ToolResult fromDiskSmall = rip("audio", "1");
    const ToolResult fromDiskLarge = rip("audio", "2");
    const ToolResult fromFileSmall = ripFile("audio", "klein.vlm");
    const ToolResult fromFileLarge = ripFile("audio", "gross.vlm");
    for (const ToolResult* result : {&fromDiskSmall, &fromDiskLarge, &fromFileSmall, &fromFileLarge})
        ASSERT_EQ(0, result->status) << result->output;
    EXPECT_EQ(large.size() / 8196 - 1, output("Velmoran_2.mpa").size() / 8192);
    EXPECT_EQ(large.size() / 8196 - 1, output("gross.mpa").size() / 8192);
    const long allowedGrowthKiB = 8 * 1024;
    EXPECT_LT(fromDiskLarge.peakMemoryKiB, fromDiskSmall.peakMemoryKiB + allowedGrowthKiB);
    EXPECT_LT(fromFileLarge.peakMemoryKiB, fromFileSmall.peakMemoryKiB + allowedGrowthKiB);
}
#endif
}  // namespace
