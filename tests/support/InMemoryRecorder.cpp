#include "support/InMemoryRecorder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "app/DiskTool.h"
#include "base/Console.h"

InMemoryRecorder::InMemoryRecorder(std::int32_t clusters, const RecorderLayout& layout) {
    layout.copyInto(fake.addDrive(0, std::uint64_t(clusters) << 20));
    fake.putSignature(0);
}

ToolResult InMemoryRecorder::run(const std::vector<std::string>& words) {
    std::vector<std::string> copies(words);
    std::vector<char*> args;
    std::string program = "VelmoranDisk";
    args.push_back(&program[0]);
    for (std::string& word : copies) args.push_back(&word[0]);
    args.push_back(nullptr);
    Console::instance().resetProgress();
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    DiskTool tool(static_cast<std::int32_t>(words.size() + 1), args.data(), directory);
    ToolResult result;
    result.status = tool.run();
    std::fflush(stdout);
    result.output = testing::internal::GetCapturedStdout();
    return result;
}
