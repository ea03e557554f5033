// Two commands started at once on one disk image, as from a script and a second window: the one
// that writes runs alone, so each one's work arrives whole and the disk stays consistent, try
// after try.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/BackupBytes.h"
#include "support/DiskCheck.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
constexpr int tries = 5;
constexpr std::size_t mebibyte = 1u << 20;

std::vector<std::uint8_t> bytesOf(const std::string& file) {
    const std::string bytes = TempDir::readAll(file);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// The names of the recordings on a disk, and whether each one's chain holds its backup's data.
std::vector<std::string> wholeRecordings(const std::vector<std::uint8_t>& disk,
                                         const std::vector<std::string>& backups) {
    const DiskCheck check(disk);
    EXPECT_TRUE(check.problems().empty()) << check.problems().front();
    EXPECT_TRUE(check.unreachableInUse().empty());
    std::vector<std::string> whole;
    for (const auto& slot : check.chains()) {
        const std::string entry = BackupBytes::swappedName(
            std::string(reinterpret_cast<const char*>(disk.data() + (5 << 20) + 256 * slot.first), 256));
        for (const std::string& backup : backups) {
            if (backup.compare(28, 4, entry, 0, 4) != 0) continue;
            std::string data;
            for (std::int32_t cluster : slot.second)
                data.append(reinterpret_cast<const char*>(disk.data()) + std::size_t(cluster) * mebibyte, mebibyte);
            if (data == backup.substr(284)) whole.push_back(entry.substr(0, 4));
        }
    }
    return whole;
}

TEST(ConcurrentCommands, AWritingCommandRunsAloneAndLosesNothing) {
    TempDir temp;
    const std::string first = BackupBytes::header() + BackupBytes::entry("Abcd", 6, 2, 0) + BackupBytes::cluster(1) +
                              BackupBytes::cluster(2);
    const std::string second = BackupBytes::header() + BackupBytes::entry("Efgh", 6, 1, 0) + BackupBytes::cluster(3);
    const std::string kept = BackupBytes::header() + BackupBytes::entry("Ijkl", 6, 1, 0) + BackupBytes::cluster(4);
    TempDir::writeAll(temp.file("first.vlm"), first);
    TempDir::writeAll(temp.file("second.vlm"), second);
    TempDir::writeAll(temp.file("kept.vlm"), kept);
    struct Case {
        const char* what;
        std::vector<std::string> other;  // started together with the load of first.vlm
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"two loads", {"movie", "load", "second.vlm"}, {"Ijkl", "Abcd", "Efgh"}},
        {"load and delete", {"movie", "delete", "0"}, {"Abcd"}},
        {"load and image save", {"image", "save"}, {"Ijkl", "Abcd"}},
    };
    for (const Case& c : cases) {
        for (int attempt = 0; attempt < tries; ++attempt) {
            const std::string image = temp.makeImage("disk.img", 16 * mebibyte, true);
            RecorderLayout(16).writeTo(image);
            ASSERT_EQ(0, ToolRunner::run({"movie", "load", "kept.vlm"}, {image}, temp.path()).status);
            const std::vector<ToolResult> results =
                ToolRunner::runTogether({{"movie", "load", "first.vlm"}, c.other}, {image}, temp.path());
            for (const ToolResult& result : results) ASSERT_EQ(0, result.status) << c.what << ": " << result.output;
            std::vector<std::string> expected = c.expected;
            std::vector<std::string> found = wholeRecordings(bytesOf(image), {first, second, kept});
            std::sort(expected.begin(), expected.end());
            std::sort(found.begin(), found.end());
            EXPECT_EQ(expected, found) << c.what << ", try " << attempt;
            if (c.other[0] != "image") continue;
            // The image is a disk of its own: before the load or after it, never half of it.
            const std::vector<std::string> saved = wholeRecordings(bytesOf(temp.file("Velmoran.img")), {first, kept});
            EXPECT_TRUE(saved == std::vector<std::string>{"Ijkl"} || saved.size() == 2) << c.what << ", try " << attempt;
        }
    }
}
}  // namespace
