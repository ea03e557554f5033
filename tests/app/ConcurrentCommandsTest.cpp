// A load started together with a second command on one disk image, by two names of it: whoever
// writes runs alone, so both commands' work arrives whole, try after try; two readers never wait.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "support/BackupBytes.h"
#include "support/DiskCheck.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
// The number of recordings on a consistent disk image, each holding its backup file's data.
std::size_t wholeRecordings(const std::string& image) {
    const std::string bytes = TempDir::readAll(image);
    const std::vector<std::uint8_t> disk(bytes.begin(), bytes.end());
    const DiskCheck check(disk);
    EXPECT_TRUE(check.problems().empty() && check.unreachableInUse().empty());
    for (const auto& slot : check.chains())  // "Eins" lies on the disk as "sniE", "Zwei" as "iewZ"
        EXPECT_EQ(BackupBytes::cluster(bytes[(5u << 20) + 256 * std::size_t(slot.first)] == 's' ? 0 : 1),
                  bytes.substr(std::size_t(slot.second.at(0)) << 20, 1u << 20));
    return check.chains().size();
}

TEST(ConcurrentCommands, AWritingCommandRunsAloneAndLosesNothing) {
    TempDir temp;
    for (int k = 0; k < 2; ++k)
        TempDir::writeAll(temp.file(k ? "zwei.vlm" : "eins.vlm"),
                          BackupBytes::header() + BackupBytes::entry(k ? "Zwei" : "Eins", 6, 1, 0) + BackupBytes::cluster(k));
    const std::string image = temp.makeImage("disk.img", 16u << 20, true);
    std::filesystem::create_hard_link(image, temp.file("other-name.img"));
    const std::vector<std::string> load = {"movie", "load", "eins.vlm"};
    const struct {
        std::vector<std::string> first, second;
        std::size_t recordings;
    } cases[] = {{load, {"movie", "load", "zwei.vlm"}, 3}, {load, {"movie", "delete", "0"}, 1},
                 {load, {"image", "save"}, 2}, {{"list"}, {"list"}, 1}};
    for (const auto& c : cases) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            temp.makeImage("disk.img", 16u << 20, true);
            RecorderLayout(16).writeTo(image);
            ASSERT_EQ(0, ToolRunner::run({"movie", "load", "zwei.vlm"}, {image}, temp.path()).status);
            ToolResult second;
            std::thread started([&] { second = ToolRunner::run(c.second, {temp.file("other-name.img")}, temp.path()); });
            const ToolResult first = ToolRunner::run(c.first, {image}, temp.path());
            started.join();
            ASSERT_EQ(0, first.status + second.status) << first.output << second.output;
            EXPECT_EQ(c.recordings, wholeRecordings(image)) << c.second[1] << ", try " << attempt;
            EXPECT_FALSE(c.first[0] == "list" && (first.output + second.output).find("warte") != std::string::npos);
            // An image is a disk of its own, from before the load or after it.
            EXPECT_TRUE(c.second[0] != "image" || wholeRecordings(temp.file("Velmoran.img")) >= 1);
        }
    }
}
}  // namespace
