#include "rip/StreamWriter.h"

#include <algorithm>

#include "disk/RecorderDisk.h"

StreamWriter::StreamWriter(const HostFileName& name)
    : file(name), buffer(file.isOpen() ? TransferBuffer::allocate(bufferSize) : nullptr) {}

StreamWriter::~StreamWriter() {
    if (isOpen() && !failed) flush();
}

bool StreamWriter::writeSwapped(const std::uint8_t* payload, std::uint32_t length) {
    if (!isOpen() || failed) return false;
    while (length > 0) {
        if (fill == bufferSize && !flush()) return false;
        const std::uint32_t piece = std::min(length, bufferSize - fill);
        RecorderDisk::copySwappedWords(buffer.get() + fill, payload, piece);
        fill += piece;
        payload += piece;
        length -= piece;
    }
    return true;
}

bool StreamWriter::close() {
    if (!isOpen()) return false;
    const bool flushed = !failed && flush();
    const bool closed = file.close();
    return flushed && closed;
}

bool StreamWriter::flush() {
    const std::uint32_t pending = fill;
    fill = 0;
    if (pending == 0 || file.write(buffer.get(), pending)) return true;
    failed = true;
    return false;
}
