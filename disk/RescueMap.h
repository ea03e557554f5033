#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/HostFileName.h"

// Where a copy of the disk, or of part of it, holds zeros for sectors that could not be read,
// written as a map file in GNU ddrescue's format: with it, ddrescue can try those sectors
// again into the same copy, and ddrescuelog can list them. The blocks cover the copy from
// byte 0 to its end without gaps: '+' read, '-' unreadable, adjacent sectors in one block.
class RescueMap {
public:
    struct Span {
        std::uint64_t position;
        std::uint64_t size;
    };

    // An unreadable sector at `position` in the copy; sectors are added in ascending order.
    void addUnreadable(std::uint64_t position);
    bool isEmpty() const { return spans.empty(); }
    const std::vector<Span>& unreadableSpans() const { return spans; }
    std::uint64_t unreadableSectors() const;

    // The map of a copy of `copySize` bytes into the file; false after the writer's message.
    bool writeTo(const HostFileName& path, std::uint64_t copySize) const;

private:
    std::string text(std::uint64_t copySize) const;

    std::vector<Span> spans;
};
