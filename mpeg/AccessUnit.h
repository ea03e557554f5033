#pragma once

#include <cstdint>

#include "mpeg/UnitBytes.h"

// One decodable unit of an elementary stream: a coded picture (with the sequence and GOP headers
// in front of it) or an audio frame, with its times on the 90 kHz clock.
struct AccessUnit {
    UnitBytes bytes;
    // Where the unit commences for a packet's time stamps: its picture start code or frame sync.
    std::uint32_t stampOffset = 0;
    std::int64_t dts = 0;
    std::int64_t pts = 0;
    std::int64_t duration = 0;
    // Whether the stream's times come from packet time stamps rather than from counting units.
    bool stamped = false;
};
