#pragma once

#include <cstdint>
#include <string>

// Reads that fail part way, which no file on a healthy disk gives. While an object lives,
// opening `path` for reading in this process gives a stream that delivers the file's first
// `goodBytes` bytes and then fails every read (EIO), as a damaged disk does. Linux only: the
// test binary's own fopen stands in front of the C library's.
class FailingReads {
public:
    FailingReads(const std::string& path, std::uint64_t goodBytes);
    ~FailingReads();

    FailingReads(const FailingReads&) = delete;
    FailingReads& operator=(const FailingReads&) = delete;
};
