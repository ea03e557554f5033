#pragma once

#include <string>

// Closes that fail, as they do on NFS, under a quota or on a FUSE file system, where a late
// write error shows only when the file is closed. While an object lives, closing a stream on
// `path` in this process closes the file all the same and reports EIO. Linux only: the test
// binary's own fclose stands in front of the C library's and knows the file by its
// descriptor's link in /proc.
class FailingCloses {
public:
    explicit FailingCloses(const std::string& path);
    ~FailingCloses();

    FailingCloses(const FailingCloses&) = delete;
    FailingCloses& operator=(const FailingCloses&) = delete;

    // Whether closes can be made to fail here; the reason when not.
    static bool available(std::string* reason);
};
