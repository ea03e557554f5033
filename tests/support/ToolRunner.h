#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ToolResult {
    std::string output;  // standard output, byte for byte
    int status = -1;     // exit status
    long peakMemoryKiB = -1;  // the process's peak resident memory (POSIX only)
};

// Runs the built VelmoranDisk as a separate process, the way a user does.
class ToolRunner {
public:
    // VELMORAN_DRIVES lists `drives` (an empty string is an empty entry); the tool runs in
    // `workFolder` when one is given.
    static ToolResult run(const std::vector<std::string>& words, const std::vector<std::string>& drives,
                          const std::string& workFolder = std::string());
    // Without VELMORAN_DRIVES: the machine's own drives.
    static ToolResult runOnMachineDrives(const std::vector<std::string>& words);
    // As run, with no file of the tool growing beyond `fileSizeLimit` bytes: a write past it
    // fails (the drive images too, for writes beyond the limit). POSIX systems only.
    static bool canLimitFileSize();
    static ToolResult runWithFileSizeLimit(const std::vector<std::string>& words, const std::vector<std::string>& drives,
                                           const std::string& workFolder, std::uint64_t fileSizeLimit);

private:
    static std::string drivesVariable(const std::vector<std::string>& drives);
    static ToolResult launch(const std::vector<std::string>& words, const std::string* drivesVariable,
                             const std::string& workFolder, std::uint64_t fileSizeLimit = 0);
};
