#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "WatchedPlatform.h"

// The drive a fuzz target runs the tool on and the drive it expects to find afterwards, both
// made once from a base. An input changes them only in ranges it notes (its own changes, the
// tool's writes, the changes it expects), so that the comparison of the two and their return
// to the base cost only what the input touched; each drive goes back only where it changed.
class FuzzDrive {
public:
    explicit FuzzDrive(const std::vector<std::uint8_t>& base) : base(base), actual(base), expected(base) {}

    // The tool's drive, to be moved into a platform and back.
    std::vector<std::uint8_t>& drive() { return actual; }
    const std::vector<std::uint8_t>& expectedDrive() const { return expected; }

    // The input's own change: into both drives.
    void put(std::uint64_t position, const std::uint8_t* bytes, std::size_t length);
    // A change the tool is expected to make.
    void expect(std::uint64_t position, const std::string& bytes);
    // The writes of the command that ran last.
    void noteWrites(const WatchedPlatform& platform);
    // Whether the two drives hold the same below `end`.
    bool matches(std::uint64_t end) const;
    // Both back to the base.
    void reset();

private:
    using Ranges = std::vector<std::pair<std::uint64_t, std::uint64_t>>;  // position, end

    void note(Ranges& ranges, std::uint64_t position, std::uint64_t length) const;
    bool matches(const Ranges& ranges, std::uint64_t end) const;
    void restore(Ranges& ranges, std::vector<std::uint8_t>& drive);

    const std::vector<std::uint8_t>& base;
    std::vector<std::uint8_t> actual;
    std::vector<std::uint8_t> expected;
    Ranges actualChanges;
    Ranges expectedChanges;
};
