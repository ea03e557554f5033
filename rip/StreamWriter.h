#pragma once

#include <cstdint>
#include <string>

#include "base/HostFileWriter.h"
#include "base/TransferBuffer.h"
#include "mpeg/ByteSink.h"

// One elementary-stream output of a rip. The recorder stores every payload word-swapped; the
// writer swaps each back while it copies it into its buffer, and the file gets the buffer in
// whole: one pass over the bytes in memory and few, large writes, which the file system takes
// much faster than many small ones.
class StreamWriter : public ByteSink {
public:
    static constexpr std::uint32_t bufferSize = 1024 * 1024;

    // Creates the file, or empties an existing one; prints the open failure (0, 201) when it
    // cannot.
    explicit StreamWriter(const HostFileName& name);
    // Writes out what the buffer still holds (a rip that stopped early keeps what it ripped)
    // and closes the file, without reporting a failure.
    ~StreamWriter() override;

    StreamWriter(const StreamWriter&) = delete;
    StreamWriter& operator=(const StreamWriter&) = delete;

    bool isOpen() const { return file.isOpen(); }

    // Adds the `length` bytes of a payload, every whole 4-byte group reversed. False after the
    // write failure message (0, 205) when the buffer could not be written, and from then on.
    bool writeSwapped(const std::uint8_t* payload, std::uint32_t length);
    // Adds bytes as they are; false as writeSwapped.
    bool writeBytes(const std::uint8_t* bytes, std::size_t length) override;
    // Room in the buffer, once what it holds is written out where the bytes would not fit;
    // nullptr when they never fit or the writer has failed (writeBytes then says so).
    std::uint8_t* room(std::size_t length) override;
    void commit(std::size_t length) override { fill += static_cast<std::uint32_t>(length); }
    bool hasFailed() const { return failed; }
    // Writes out the buffer and closes the file: true when every byte reached the file.
    bool close();

private:
    // Copies `length` bytes through the buffer with `copy`, flushing it when it is full.
    template <typename Copy>
    bool add(const std::uint8_t* bytes, std::size_t length, Copy copy);
    bool flush();

    HostFileWriter file;
    TransferBuffer::Pointer buffer;
    std::uint32_t fill = 0;
    bool failed = false;
};
