#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/HostFile.h"

// Creates a file on the PC, or empties an existing one, and writes it byte for byte.
class HostFileWriter : public HostFile {
public:
    // What the writers of the process did since the tally was last emptied, for a run over
    // several recordings: the bytes they wrote, and the file that found its file system full
    // (empty while none did).
    struct Tally {
        std::uint64_t bytes = 0;
        std::string fullFile;
    };
    static Tally& tally();

    explicit HostFileWriter(const HostFileName& name, std::size_t bufferSize = unbuffered);
    ~HostFileWriter() override;

    // True when all `length` bytes were written; false after a message (0, 205) when not,
    // and false without one when the file never opened.
    bool write(const void* buffer, std::size_t length);
    // Writes out what the stream still buffers and closes the file: true when every byte
    // reached the file, false after the write failure message (0, 205) when not, and false
    // without one when the file never opened. A staged file then takes its own name (false
    // after message 851 when it cannot); one that is never closed whole keeps its temporary
    // name. A writer that goes without close() closes silently, so whoever must know that the
    // file is complete calls it.
    bool close();

private:
    bool reportWriteFailure() const;
};
