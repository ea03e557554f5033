// Which lock each command takes, that it comes before any read but the probe's, and what a command
// says when another one holds the drive or the drive takes no locks.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/InMemoryRecorder.h"

namespace {
TEST(DriveLock, TakenBeforeTheTableIsReadWaitedForAndSaidOnce) {
    RecorderLayout layout(12);
    layout.addChain({6});
    layout.putSlot(0, "Erste", 6, 0, 9000);
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"list"}, "shared"}, {{"dump", "0"}, "shared"}, {{"image", "save"}, "shared"},
        {{"movie", "save", "0"}, "shared"}, {{"movie", "rip", "0"}, "shared"}, {{"movie", "load", "-"}, "exclusive"},
        {{"audio", "delete", "0"}, "exclusive"}, {{"image", "load"}, "exclusive"}, {{"image", "format"}, "exclusive"},
        {{"check"}, "shared"}, {{"check", "repair"}, "exclusive"}};
    const std::string waits = "Festplatte wird von einem anderen Aufruf benutzt, warte auf ihre Freigabe...\n";
    const std::string said[] = {"", waits, "Festplatte kann nicht gesperrt werden, sie wird ohne Sperre benutzt!\n",
                                waits + "Warten auf die Freigabe der Festplatte fehlgeschlagen!\n"};
    for (const auto& c : cases) {
        std::string alone;
        // Alone, held by another command, without locks, held and the wait failing.
        for (int held = 0; held < 4; ++held) {
            InMemoryRecorder recorder(12, layout);
            if (held % 2 == 1) recorder.fake.lockedElsewhere = {0};
            if (held == 2) recorder.fake.drivesWithoutLocks = {0};
            if (held == 3) recorder.fake.failingWaits = {0};
            const ToolResult result = recorder.run(c.first);
            const std::vector<std::string>& calls = recorder.fake.calls;
            // The call right after the probe's read of sector 0.
            const auto lock = std::find(calls.begin(), calls.end(), "ReadFile 512") + 1;
            ASSERT_LT(lock, calls.end()) << c.first[0];
            EXPECT_EQ("LockDrive 0 " + c.second + " try", *lock) << c.first[0];
            EXPECT_EQ(held % 2 == 1, std::count(lock, calls.end(), "LockDrive 0 " + c.second + " wait") == 1);
            if (held == 0) alone = result.output + std::to_string(result.status);
            // A failed wait ends the command with its message and nothing else.
            EXPECT_EQ(said[held] + (held == 3 ? "1" : alone), result.output + std::to_string(result.status))
                << c.first[0];
        }
    }
}
}  // namespace
