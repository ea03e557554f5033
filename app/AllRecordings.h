#pragma once

#include <cstdint>
#include <string>

class DirEntry;
class Directory;
class HostVolume;

// One operation on every recording of the directory, in slot order, each exactly as its single
// command does it (the same reads, checks, messages and progress meter), into files named
// "Velmoran_<nr> <title>" with the command's endings, each written under a temporary name and
// given its own only when it is whole. One line before each recording names it; a last line
// sums up. A recording that fails does not stop the others; a full file system stops the run.
// The caller holds the drive for the whole run.
class AllRecordings {
public:
    enum class Operation { save, movieRip, audioRip, movieExport, audioExport };

    AllRecordings(Directory& directory, Operation operation);
    virtual ~AllRecordings();

    AllRecordings(const AllRecordings&) = delete;
    AllRecordings& operator=(const AllRecordings&) = delete;

    // True when every recording was done without a fault.
    bool run();

private:
    // The operation on one recording, its files named from `baseName` plus their endings.
    bool runOne(std::int32_t number, const std::string& baseName);
    // The most bytes one file of the operation can take for the recording.
    std::uint64_t largestFile(const DirEntry& entry) const;
    // Whether a file of the recording may outgrow what the file system takes; says so when it may.
    bool tooLarge(std::int32_t number, const HostVolume& volume) const;

    Directory& directory;
    const Operation operation;
};
