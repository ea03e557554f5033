#pragma once

#include <cstdint>
#include <vector>

#include "disk/FakePlatform.h"

// The in-memory platform with every transfer on drive 0 noted by its byte range, whether it
// succeeded or not, so that a fuzz target can tell which parts of the drive a command asked
// for, those past the drive's end included.
class WatchedPlatform : public FakePlatform {
public:
    struct Transfer {
        std::uint64_t position;
        std::uint32_t length;
        bool write;
    };

    // The transfers since the drive was opened, or since the last forgetTransfers.
    const std::vector<Transfer>& transfers() const { return noted; }
    void forgetTransfers() { noted.clear(); }
    bool wroteAnything() const;

    Handle createFile(const char* name, std::uint32_t access, std::uint32_t shareMode, std::uint32_t creation,
                      std::uint32_t flags) override;
    std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t method) override;
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override;
    bool writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) override;

private:
    Handle driveHandle = invalidHandle;
    std::uint64_t position = 0;
    std::vector<Transfer> noted;
};
