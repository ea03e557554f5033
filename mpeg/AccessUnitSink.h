#pragma once

#include "mpeg/AccessUnit.h"

// Takes the units of the parsers, per stream in decode order. It may take the unit's bytes
// (moving them out of the unit).
class AccessUnitSink {
public:
    static constexpr int videoStream = 0;
    static constexpr int audioStream = 1;

    virtual ~AccessUnitSink() = default;
    virtual void accessUnit(int stream, AccessUnit& unit) = 0;
};
