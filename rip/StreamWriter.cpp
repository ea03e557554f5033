#include "rip/StreamWriter.h"

#include <algorithm>
#include <cstring>

#include "disk/RecorderDisk.h"

StreamWriter::StreamWriter(const HostFileName& name)
    : file(name), buffer(file.isOpen() ? TransferBuffer::allocate(bufferSize) : nullptr) {}

StreamWriter::~StreamWriter() {
    if (isOpen() && !failed) flush();
}

template <typename Copy>
bool StreamWriter::add(const std::uint8_t* bytes, std::size_t length, Copy copy) {
    if (!isOpen() || failed) return false;
    while (length > 0) {
        if (fill == bufferSize && !flush()) return false;
        const auto piece = static_cast<std::uint32_t>(std::min<std::size_t>(length, bufferSize - fill));
        copy(buffer.get() + fill, bytes, piece);
        fill += piece;
        bytes += piece;
        length -= piece;
    }
    return true;
}

bool StreamWriter::writeSwapped(const std::uint8_t* payload, std::uint32_t length) {
    return add(payload, length, RecorderDisk::copySwappedWords);
}

bool StreamWriter::writeBytes(const std::uint8_t* bytes, std::size_t length) {
    return add(bytes, length, [](std::uint8_t* to, const std::uint8_t* from, std::uint32_t count) {
        std::memcpy(to, from, count);
    });
}

std::uint8_t* StreamWriter::room(std::size_t length) {
    if (!isOpen() || failed || length > bufferSize) return nullptr;
    if (length > bufferSize - fill && !flush()) return nullptr;
    return buffer.get() + fill;
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
