#pragma once

#include <string>

#include "support/TempDir.h"

// The fuzz target's own temporary folder, where every file of a run is made, and the quiet
// standard output of the target: the tool's texts go to /dev/null, libFuzzer's to standard
// error. One per process; the folder goes when the process ends normally.
class FuzzFolder {
public:
    FuzzFolder();
    // The one folder of this process, made on first use.
    static const FuzzFolder& instance();

    const std::string& path() const { return temp.path(); }
    std::string file(const std::string& name) const { return temp.file(name); }
    // Removes every file a run left in the folder.
    void empty() const;

private:
    TempDir temp;
};
