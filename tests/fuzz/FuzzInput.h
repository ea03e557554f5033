#pragma once

#include "FuzzFolder.h"
#include "support/CurrentFolder.h"

// The handling of one input: the fuzz folder is the current folder, so that every file the
// tool names relative to it lands there; afterwards the folder is emptied for the next input.
// Crash files of libFuzzer go where its -artifact_prefix says, which must be absolute.
class FuzzInput {
public:
    explicit FuzzInput(const FuzzFolder& folder) : folder(folder), current(folder.path()) {}
    ~FuzzInput() { folder.empty(); }

    FuzzInput(const FuzzInput&) = delete;
    FuzzInput& operator=(const FuzzInput&) = delete;

private:
    const FuzzFolder& folder;
    CurrentFolder current;
};
