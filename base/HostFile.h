#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "base/HostFileName.h"
#include "base/TransferBuffer.h"

// A file on the PC, opened in binary mode so that no line-end or end-of-file translation
// takes place. The path is kept whole, whatever its length, for the messages. The file is
// closed when the object goes; a failure while closing is not reported.
class HostFile {
public:
    virtual ~HostFile();

    HostFile(const HostFile&) = delete;
    HostFile& operator=(const HostFile&) = delete;

    // Whole clusters go to and from the file system as they are asked for, one transfer each:
    // a stream buffer would only split them. Whoever moves small pieces (the records that a rip
    // reads from a backup file) asks for a buffer, so that they come in large transfers.
    static constexpr std::size_t unbuffered = 0;
    static constexpr std::size_t pieceBuffer = 1024 * 1024;

    bool isOpen() const { return stream != nullptr; }
    // The name the bytes go to (a staged file's temporary one), as messages show it.
    const std::string& path() const { return fileName.writtenName(); }
    const HostFileName& name() const { return fileName; }

protected:
    // Opens the file with the fopen mode and a stream buffer of `bufferSize` bytes (0: none);
    // prints the open failure (0, 201) when it cannot.
    HostFile(const HostFileName& name, const char* mode, std::size_t bufferSize);

    std::FILE* file() const { return stream.get(); }
    // Closes the stream; false when closing failed. Afterwards the file is no longer open.
    bool closeStream();
    // Hands a fully composed failure message (severity 0) to the console.
    void report(int number, const std::string& text) const;

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    HostFileName fileName;
    TransferBuffer::Pointer streamBuffer;  // outlives the stream, which is closed first
    std::unique_ptr<std::FILE, Closer> stream;
};
