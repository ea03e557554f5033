#include "FuzzRecorder.h"

#include <cstdio>

#include "app/DiskTool.h"
#include "base/Console.h"

FuzzRecorder::FuzzRecorder(std::vector<std::uint8_t>&& drive) { fake.addDrive(0, 0) = std::move(drive); }

std::int32_t FuzzRecorder::run(const std::vector<std::string>& words) {
    std::vector<std::string> copies(words);
    std::string program = "VelmoranDisk";
    std::vector<char*> args{&program[0]};
    for (std::string& word : copies) args.push_back(&word[0]);
    args.push_back(nullptr);
    // Every command starts with the meter of a new process.
    Console::instance().resetProgress();
    fake.forgetTransfers();
    DiskTool tool(static_cast<std::int32_t>(args.size() - 1), args.data(), directory);
    const std::int32_t status = tool.run();
    std::fflush(stdout);
    return status;
}
