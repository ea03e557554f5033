#include "support/LoopDevice.h"

#include <cstdio>

namespace {
// The command's standard output and error, without a last line end; false when it failed.
bool runShell(const std::string& command, std::string* output) {
    output->clear();
#ifdef __linux__
    std::FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return false;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) *output += buffer;
    while (!output->empty() && output->back() == '\n') output->pop_back();
    return pclose(pipe) == 0;
#else
    (void)command;
    *output = "loop devices are made on Linux only";
    return false;
#endif
}
}  // namespace

LoopDevice::LoopDevice(const std::string& image, bool readOnly) {
    std::string answer;
    if (runShell(std::string("losetup -f --show ") + (readOnly ? "-r '" : "'") + image + "'", &answer))
        device = answer;
    else
        failure = answer.empty() ? "losetup failed" : answer;
}

void LoopDevice::detach() {
    std::string ignored;
    if (!device.empty()) runShell("losetup -d " + device, &ignored);
    device.clear();
}
