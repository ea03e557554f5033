// Outputs on the PC that cannot be written, as a user meets them: the built tool on a recorder
// disk image, with its backup, image or rip file on a full file system, in a folder where no
// file can be created, behind a path longer than the system allows, or on a file system that
// fails the file's close. Each command must name
// the file in its message, fail with exit status 1 and leave the recorder's disk alone.
// (A file-size limit and over-long file names are tried with the commands' own tests.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/CurrentFolder.h"
#include "support/FailingCloses.h"
#include "support/InMemoryRecorder.h"
#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

#ifndef _WIN32
namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

class HostFileFaultTest : public ::testing::Test {
protected:
    // Recording 3, a movie of video and audio records on the chain 9, 7, 12.
    HostFileFaultTest() : drive(temp.makeImage("disk.img", 16 * mebibyte, true)) {
        for (std::uint32_t k = 0; k < 300; ++k) records.add(1 + k % 2, RecordStream::payload(k));
        RecorderLayout layout(16);
        layout.addChain({9, 7, 12});
        layout.writeTo(drive);
        RecordStream::writeOverChain(drive, {9, 7, 12}, records.bytes());
        RecordStream::writeSlot(drive, 3, "Film", 9, 0, records.size());
    }

    // Runs the command in `folder`; it must fail with `message` as the end of its output, once,
    // and leave the disk as it was.
    void expectFailure(const std::vector<std::string>& words, const std::string& folder, const std::string& message) {
        const std::string disk = TempDir::readAll(drive);
        expectFailed(ToolRunner::run(words, {drive}, folder), message);
        EXPECT_TRUE(disk == TempDir::readAll(drive)) << words[1];
    }

    static void expectFailed(const ToolResult& result, const std::string& message) {
        EXPECT_EQ(1, result.status) << result.output;
        ASSERT_GE(result.output.size(), message.size()) << result.output;
        EXPECT_EQ(message, result.output.substr(result.output.size() - message.size())) << result.output;
        EXPECT_EQ(result.output.find(message), result.output.size() - message.size()) << result.output;
    }

    TempDir temp;
    std::string drive;
    RecordStream records;
};

TEST_F(HostFileFaultTest, OutputsOnAFullFileSystemFail) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    struct Case {
        std::vector<std::string> words;
        std::string output;
        std::string other;           // the movie's other output: it keeps what came before the failure
        std::uint64_t failedAt;      // the position of the record whose payload did not fit
    };
    const Case cases[] = {{{"movie", "save", "3"}, "Velmoran_3.vlm", "", 0},
                          {{"image", "save"}, "Velmoran.img", "", 0},
                          // The 129th video payload finds the output's 1 MiB buffer full.
                          {{"movie", "rip", "3"}, "Velmoran_3_video.pes", "Velmoran_3_audio.pes", 258 * 8196},
                          // Under 1 MiB: the output is written only when it is closed.
                          {{"audio", "rip", "kurz.vlm"}, "kurz.mpa", "", 0}};
    for (const Case& c : cases) {
        TempDir work;
        RecordStream::writeBackupFile(work.file("kurz.vlm"), "Kurz", 0, 4 * 8196, records.bytes().substr(0, 4 * 8196));
        std::filesystem::create_symlink("/dev/full", work.file(c.output));
        expectFailure(c.words, work.path(), "Schreiben in Datei " + c.output + " fehlgeschlagen!\n");
        if (!c.other.empty()) {
            EXPECT_EQ(records.payloadsOf(2, 0, c.failedAt), TempDir::readAll(work.file(c.other)));
        }
    }
}

TEST_F(HostFileFaultTest, AFileThatFailsToCloseFailsTheCommand) {
    std::string reason;
    if (!FailingCloses::available(&reason)) GTEST_SKIP() << reason;
    struct Case {
        std::vector<std::string> words;
        std::string output;
        std::set<std::uint64_t> unreadable;
        std::string after;  // what the command says behind the failed close
    };
    const Case cases[] = {
        {{"movie", "save", "3"}, "Velmoran_3.vlm", {}, ""},
        {{"image", "save"}, "Velmoran.img", {}, ""},
        {{"movie", "rip", "3"}, "Velmoran_3_audio.pes", {}, ""},
        {{"movie", "rip", "3"}, "Velmoran_3_audio.pes", {7 * 2048 + 5},
         "Unlesbare Sektoren in Cluster 7 durch Nullen ersetzt, die Ausgabedateien sind unvollstaendig!\n"}};
    const std::string disk = TempDir::readAll(drive);
    for (const Case& c : cases) {
        TempDir work;
        CurrentFolder here(work.path());
        InMemoryRecorder recorder(16, RecorderLayout(16));
        std::copy(disk.begin(), disk.end(), recorder.drive().begin());
        recorder.fake.unreadableSectors[0] = c.unreadable;
        FailingCloses failing(c.output);
        expectFailed(recorder.run(c.words), "Schreiben in Datei " + c.output + " fehlgeschlagen!\n" + c.after);
    }
}

TEST_F(HostFileFaultTest, OutputsInAFolderWithoutWritePermissionFail) {
    // Permission bits do not stop root; in /proc no one can create a file.
    if (!std::filesystem::is_directory("/proc"))
        GTEST_SKIP() << "no /proc here to stand for a folder without write permission";
    const auto openFailure = [](const std::string& name) {
        return "Datei " + name + " konnte nicht geoeffnet werden!\n";
    };
    expectFailure({"movie", "save", "3"}, "/proc", openFailure("Velmoran_3.vlm"));
    expectFailure({"image", "save"}, "/proc", openFailure("Velmoran.img"));
    expectFailure({"movie", "rip", "3"}, "/proc",
                  openFailure("Velmoran_3_video.pes") + openFailure("Velmoran_3_audio.pes"));
    EXPECT_FALSE(std::filesystem::exists("/proc/Velmoran_3.vlm"));
}

TEST_F(HostFileFaultTest, ARipWhoseOutputPathsOutgrowThePathLimitFails) {
    // The backup file's path fits the limit of 4095 characters; with "_video.pes" in place of
    // ".vlm" its outputs' paths do not.
    RecordStream::writeBackupFile(temp.file("film.vlm"), "Film", 0, records.size(), records.bytes());
    const std::string name = "/film.vlm";
    ASSERT_LT(temp.path().size() + name.size(), 4094u);
    const std::string path = temp.path() + std::string(4094 - temp.path().size() - name.size(), '/') + name;
    const std::string base = path.substr(0, path.size() - 4);
    expectFailure({"movie", "rip", path}, temp.path(),
                  "Datei " + base + "_video.pes konnte nicht geoeffnet werden!\nDatei " + base +
                      "_audio.pes konnte nicht geoeffnet werden!\n");
}
}  // namespace
#endif
