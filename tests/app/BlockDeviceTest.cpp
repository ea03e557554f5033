// The tool on a real block device: a loop device over the test's own copy of the demo disk,
// beside an identical image file. Every command must print the same, end the same and write
// the same files on both, and leave both disks with the same bytes. Needs root and a free loop
// device; skipped with its reason otherwise.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/LoopDevice.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

#ifdef __linux__
#include <unistd.h>

namespace {
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& item : std::filesystem::directory_iterator(folder))
        files[item.path().filename().string()] = TempDir::readAll(item.path().string());
    return files;
}

TEST(BlockDevice, CommandsOnALoopDeviceDoWhatTheyDoOnAnImageFile) {
    if (geteuid() != 0) GTEST_SKIP() << "loop devices need root";
    TempDir temp;
    // The demo disk twice, each a sparse file of its own, at its smallest size.
    for (const char* name : {"file.img", "device.img"}) {
        const std::string command = std::string(VELMORAN_DEMO_DISK_MAKER) + " " + temp.file(name) + " 24";
        ASSERT_EQ(0, std::system(command.c_str())) << command;
    }
    LoopDevice loop(temp.file("device.img"));
    if (loop.device.empty()) GTEST_SKIP() << "no loop device: " << loop.failure;
    const std::string onFile = temp.file("on-file");
    const std::string onDevice = temp.file("on-device");
    std::filesystem::create_directory(onFile);
    std::filesystem::create_directory(onDevice);

    const std::vector<std::vector<std::string>> commands = {
        {"list"},           {"movie", "save", "0"}, {"movie", "delete", "1"}, {"movie", "load", "Velmoran_0.vlm"},
        {"movie", "rip", "3"}, {"audio", "rip", "7"},  {"dump", "5000", "400"},  {"image", "save"},
        {"image", "format"}, {"list"}};
    for (const std::vector<std::string>& words : commands) {
        const std::string command = words[0] + (words.size() > 1 ? " " + words[1] : "");
        const ToolResult fromFile = ToolRunner::run(words, {temp.file("file.img")}, onFile);
        const ToolResult fromDevice = ToolRunner::run(words, {loop.device}, onDevice);
        EXPECT_EQ(0, fromFile.status) << command << "\n" << fromFile.output;
        EXPECT_EQ(fromFile.status, fromDevice.status) << command;
        EXPECT_EQ(fromFile.output, fromDevice.output) << command;
        EXPECT_TRUE(filesIn(onFile) == filesIn(onDevice)) << command;
    }
    loop.detach();
    EXPECT_TRUE(TempDir::readAll(temp.file("file.img")) == TempDir::readAll(temp.file("device.img")));
}
}  // namespace
#else
TEST(BlockDevice, CommandsOnALoopDeviceDoWhatTheyDoOnAnImageFile) {
    GTEST_SKIP() << "loop devices are made on Linux only";
}
#endif
