#include "base/Console.h"

#include <cinttypes>
#include <cstring>

namespace {
Console processConsole;
}

Console::Console(std::FILE* out) : out(out) {}

Console::~Console() = default;

Console& Console::instance() { return processConsole; }

void Console::write(const char* text) { std::fwrite(text, 1, std::strlen(text), out); }

void Console::print(const char* text) { write(text); }

void Console::printMessage(int /*severity*/, int /*number*/, const char* text) { write(text); }

void Console::startProgress(std::uint64_t total) {
    progressTotal = total;
    dotCount = 0;
}

void Console::stepProgress() {
    const std::uint64_t c = ++stepCount;
    // Without a total there is no percentage to show; the step passes silently.
    if (progressTotal == 0) return;
    const std::uint64_t p = (c * 100) / progressTotal;
    const std::uint64_t tick = (progressTotal * p) / 100 + 1;
    if (c != tick) return;
    if (p != 0 && p % 10 == 0) {
        while (dotCount < 9) {
            write(".");
            ++dotCount;
        }
        char number[24];
        std::snprintf(number, sizeof number, "%" PRIu64, p);
        write(number);
        if (p % 50 == 0) write("\n");
        dotCount = 0;
    } else {
        ++dotCount;
        if (dotCount < 10) write(".");
    }
}

void Console::resetProgress() {
    progressTotal = 0;
    stepCount = 0;
    dotCount = 0;
}

void Console::finishProgress() {
    if (dotCount != 0) write("100\n");
}
