#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disk/FakePlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/Directory.h"
#include "support/RecorderLayout.h"
#include "support/ToolRunner.h"

// A recorder disk on drive 0 of a fake platform, with the disk, table and directory of one
// run on it, and whole commands run in-process through the front end. Faults are ordered on
// `fake` before run(); each object is good for one command, as a process is.
class InMemoryRecorder {
public:
    // A drive of `clusters` MiB with the signature and the layout's table and slots.
    InMemoryRecorder(std::int32_t clusters, const RecorderLayout& layout);

    std::vector<std::uint8_t>& drive() { return fake.drive(0); }
    // The words after the program name; the output is what the command printed.
    ToolResult run(const std::vector<std::string>& words);

    FakePlatform fake;
    RecorderDisk disk{&fake};
    ClusterTable table{disk};
    Directory directory{disk, table};
};
