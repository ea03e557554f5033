#pragma once

#include <string>

// A property a fuzz target demands of every input: when it does not hold, the target says
// which and aborts, so that libFuzzer keeps the input as a crash.
class FuzzCheck {
public:
    static void expect(bool holds, const std::string& what);
};
