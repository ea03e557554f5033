#pragma once

#include <cstddef>
#include <cstdint>

// Where a muxer's or an exporter's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be written (the sink has said why).
    virtual bool writeBytes(const std::uint8_t* bytes, std::size_t length) = 0;
    // Room for the next `length` bytes in the sink's own memory, so that they are made where
    // they go: the caller writes them there and adds them with commit(length). nullptr where the
    // sink has no such room; the bytes then go through writeBytes.
    virtual std::uint8_t* room(std::size_t /*length*/) { return nullptr; }
    virtual void commit(std::size_t /*length*/) {}
};
