#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "WatchedPlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/Directory.h"

// The tool as one process has it: a recorder disk on drive 0 of a watched in-memory platform,
// with its own disk, table and directory objects, and commands run through the front end.
// One command per object is a run of the tool; commands that do not write may share one, as
// they find the table and directory in memory as they would load them. The drive's bytes are
// moved in and taken out again, so that one buffer serves every input.
class FuzzRecorder {
public:
    explicit FuzzRecorder(std::vector<std::uint8_t>&& drive);

    // The words after the program name; the exit status. The transfers noted are this command's.
    std::int32_t run(const std::vector<std::string>& words);

    std::vector<std::uint8_t>& drive() { return fake.drive(0); }
    std::vector<std::uint8_t> takeDrive() { return std::move(fake.drive(0)); }

    WatchedPlatform fake;
    RecorderDisk disk{&fake};
    ClusterTable table{disk};
    Directory directory{disk, table};
};
