#pragma once

#include <cstdint>
#include <cstdio>

// The single way texts reach the user. Texts are handed over fully composed and written
// byte for byte: a "%" in a recording name or a path is never read as a format.
// Severity and message number identify a message at its call site; they are not printed.
class Console {
public:
    explicit Console(std::FILE* out = stdout);
    virtual ~Console();

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    static Console& instance();

    void print(const char* text);
    void printMessage(int severity, int number, const char* text);

    // Progress meter: nine marks between printed percentages, a percentage every ten.
    // The step count is not reset by startProgress, so a second meter in the same run
    // counts on from the first (the format command shows 110 to 200 for its table build).
    void startProgress(std::uint64_t total);
    void stepProgress();
    void finishProgress();
    // Forgets every step counted so far, as at process start. The tool runs one command per
    // process and never calls it; a process that runs several commands does, between them.
    void resetProgress();

private:
    void write(const char* text);

    std::FILE* out;
    std::uint64_t progressTotal = 0;
    std::uint64_t stepCount = 0;
    std::uint32_t dotCount = 0;
};
