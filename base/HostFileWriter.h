#pragma once

#include <cstddef>
#include <string>

#include "base/HostFile.h"

// Creates a file on the PC, or empties an existing one, and writes it byte for byte.
class HostFileWriter : public HostFile {
public:
    // Whole clusters go to the file system as they are written, one transfer each: a stream
    // buffer would only split them in two. Writers of small pieces (a rip's 8 KiB payloads)
    // ask for a buffer, so that the pieces reach the file system in large transfers.
    static constexpr std::size_t unbuffered = 0;
    static constexpr std::size_t pieceBuffer = 256 * 1024;

    explicit HostFileWriter(const std::string& path, std::size_t bufferSize = unbuffered);
    ~HostFileWriter() override;

    // True when all `length` bytes were written; false after a message (0, 205) when not,
    // and false without one when the file never opened.
    bool write(const void* buffer, std::size_t length);
    // Writes out what the stream still buffers and closes the file: true when every byte
    // reached the file, false after the write failure message (0, 205) when not, and false
    // without one when the file never opened. A writer that goes without close() closes
    // silently, so whoever must know that the file is complete calls it.
    bool close();

private:
    bool reportWriteFailure() const;
};
