#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/HostFile.h"

// Reads a file on the PC byte for byte. Callers test isOpen before reading.
class HostFileReader : public HostFile {
public:
    explicit HostFileReader(const std::string& path, std::size_t bufferSize = unbuffered);
    ~HostFileReader() override;

    // All `length` bytes, or false after a message: read error (0, 202) or too few bytes
    // left (0, 204). The bytes that did come stay in the buffer.
    bool readExact(void* buffer, std::size_t length);
    // Up to `length` bytes; 0 at the end of the file or on a read error, without a message.
    std::size_t readSome(void* buffer, std::size_t length);
    // Whether the last readSome stopped at a read error rather than at the end of the file,
    // for callers that must not take a damaged file for a shorter one.
    bool lastReadFailed() const { return readFailed; }
    // Whether the file holds a byte at `position`, for a caller that must know before it reads
    // that far; the next read goes on from where the file stood (or, should the file fail to
    // go back there, fails). A file that cannot be looked ahead in (a pipe, or a read error
    // there) may reach any position: true.
    bool reaches(std::uint64_t position);

private:
    bool readFailed = false;
    bool positionLost = false;
};
