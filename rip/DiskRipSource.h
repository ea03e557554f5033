#pragma once

#include <cstdint>
#include <string>

#include "fs/Recording.h"
#include "rip/RipSource.h"

class Directory;
class HostFileName;

// A rip of a recording on the recorder's disk, by its directory number: the stream is the
// recording's cluster chain, read one cluster at a time. The outputs are named
// Velmoran_<number> and are created only when the number names a recording.
class DiskRipSource : public RipSource {
public:
    // Prints "Eintrag <number> nicht gueltig!" when the number names no recording.
    DiskRipSource(Directory& directory, std::int32_t number, bool audioOnly, Output output);
    // The same with outputs named from `baseName` instead.
    DiskRipSource(Directory& directory, std::int32_t number, bool audioOnly, Output output,
                  const HostFileName& baseName);
    ~DiskRipSource() override;

    bool isReady() const override;

    static std::string baseNameFor(std::int32_t number);

protected:
    bool openSource() override;
    std::uint32_t readStream(void* buffer, std::uint32_t count) override;
    bool streamFailed() const override;
    bool streamWhole() override;
    bool zeroedWithin(std::uint64_t position, std::uint32_t length) const override;
    const std::uint8_t* nextRecord(std::uint8_t* spare) override;

private:
    Recording recording;
};
