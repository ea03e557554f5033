// The drive lock of a command: which kind each command takes, that it is taken before anything
// but sector 0 is read, and what a command says and does when another one holds the drive or the
// drive cannot be locked.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/BackupBytes.h"
#include "support/CurrentFolder.h"
#include "support/InMemoryRecorder.h"
#include "support/TempDir.h"

namespace {
const std::string waitLine = "Festplatte wird von einem anderen Aufruf benutzt, warte auf ihre Freigabe...\n";
const std::string unlockedLine = "Festplatte kann nicht gesperrt werden, sie wird ohne Sperre benutzt!\n";

RecorderLayout twoRecordings() {
    RecorderLayout layout(12);
    layout.addChain({6});
    layout.putSlot(0, "Erste", 6, 0, 9000);
    layout.addChain({7});
    layout.putSlot(1, "Zweite", 7, 0, 9000);
    return layout;
}

struct LockedRun {
    ToolResult result;
    std::vector<std::string> calls;
};

LockedRun runWith(const std::vector<std::string>& words, const std::set<int>& lockedElsewhere,
            const std::set<int>& withoutLocks) {
    InMemoryRecorder recorder(12, twoRecordings());
    recorder.fake.lockedElsewhere = lockedElsewhere;
    recorder.fake.drivesWithoutLocks = withoutLocks;
    LockedRun run;
    run.result = recorder.run(words);
    run.calls = recorder.fake.calls;
    return run;
}

// The position of the first call that begins with `prefix`, from `from` on.
std::size_t firstCall(const std::vector<std::string>& calls, const std::string& prefix, std::size_t from = 0) {
    for (std::size_t k = from; k < calls.size(); ++k)
        if (calls[k].compare(0, prefix.size(), prefix) == 0) return k;
    return calls.size();
}

TEST(DriveLock, EachCommandHoldsTheDriveBeforeItReadsMoreThanSectorZero) {
    TempDir temp;
    CurrentFolder folder(temp.path());
    TempDir::writeAll("film.vlm", BackupBytes::header() + BackupBytes::entry("Film", 6, 0, 100) + BackupBytes::cluster(1));
    struct Case {
        std::vector<std::string> words;
        const char* kind;
    };
    const Case cases[] = {
        {{"list"}, "shared"},
        {{"dump", "0"}, "shared"},
        {{"image", "save"}, "shared"},
        {{"movie", "save", "0"}, "shared"},
        {{"movie", "rip", "1"}, "shared"},
        {{"movie", "load", "film.vlm"}, "exclusive"},
        {{"audio", "delete", "1"}, "exclusive"},
        {{"image", "load"}, "exclusive"},
        {{"image", "wipe"}, "exclusive"},
        {{"image", "format"}, "exclusive"},
    };
    for (const Case& c : cases) {
        const std::string command = c.words[0] + " " + c.words.back();
        const LockedRun alone = runWith(c.words, {}, {});
        const std::size_t probe = firstCall(alone.calls, "ReadFile");
        const std::size_t lock = firstCall(alone.calls, "LockDrive");
        ASSERT_LT(lock, alone.calls.size()) << command;
        EXPECT_EQ(std::string("LockDrive 0 ") + c.kind + " try", alone.calls[lock]) << command;
        EXPECT_LT(probe, lock) << command;
        EXPECT_GT(firstCall(alone.calls, "ReadFile", probe + 1), lock) << command << ": read before the lock";
        EXPECT_EQ(std::string::npos, alone.result.output.find("Festplatte")) << command;

        // Held by another command: said once, then waited for; the command runs as if alone.
        const LockedRun waiting = runWith(c.words, {0}, {});
        EXPECT_EQ(waitLine + alone.result.output, waiting.result.output) << command;
        EXPECT_EQ(alone.result.status, waiting.result.status) << command;
        EXPECT_EQ(std::string("LockDrive 0 ") + c.kind + " wait", waiting.calls[firstCall(waiting.calls, "LockDrive") + 1])
            << command;

        const LockedRun unlocked = runWith(c.words, {}, {0});
        EXPECT_EQ(unlockedLine + alone.result.output, unlocked.result.output) << command;
        EXPECT_EQ(alone.result.status, unlocked.result.status) << command;
    }
}

TEST(DriveLock, CommandsThatStopBeforeTheDiskIsUsedLockNothing) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"image"}, {"image", "copy"}, {"movie", "save"}, {"movie", "load"}, {"dump"}}) {
        const LockedRun run = runWith(words, {0}, {});
        EXPECT_EQ(run.calls.size(), firstCall(run.calls, "LockDrive")) << words[0];
        EXPECT_EQ(std::string::npos, run.result.output.find(waitLine)) << words[0];
    }
}
}  // namespace
