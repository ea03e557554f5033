#pragma once

#include <cstddef>
#include <cstdint>

// Where a muxer's or an exporter's bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // False when the bytes could not be written (the sink has said why).
    virtual bool writeBytes(const std::uint8_t* bytes, std::size_t length) = 0;
};
