#pragma once

#include <cstddef>
#include <string>

#include "base/HostFile.h"

// Creates a file on the PC, or empties an existing one, and writes it byte for byte.
class HostFileWriter : public HostFile {
public:
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
