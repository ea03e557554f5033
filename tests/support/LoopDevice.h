#pragma once

#include <string>

// A loop device on an image file for the life of the object (Linux, as root); detached in
// any case.
class LoopDevice {
public:
    explicit LoopDevice(const std::string& image, bool readOnly = false);
    ~LoopDevice() { detach(); }
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;

    void detach();

    std::string device;   // empty when none could be attached
    std::string failure;  // why not
};
