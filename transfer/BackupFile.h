#pragma once

#include <cstdint>
#include <string>

class HostFileWriter;

// A recording outside the recorder: the 28-byte header (the text "velmoran hd V1.02 / vlm 1.0"
// and a zero byte), the recording's 256-byte directory entry image as it is held in memory
// (name bytes in reading order, integer words little-endian), then the whole clusters of its
// chain in chain order. There is no trailer and no count of clusters.
class BackupFile {
public:
    static constexpr std::uint32_t headerSize = 28;
    static const char header[headerSize];
    static constexpr std::uint64_t entryOffset = headerSize;
    static constexpr std::uint64_t dataOffset = entryOffset + 256;

    // "Velmoran_<nr>.vlm": the name the save command gives the backup of a slot.
    static std::string nameFor(std::int32_t number);
    // True when the 28 bytes are the header, its zero byte included.
    static bool isHeader(const std::uint8_t* bytes);
    // Writes the 28 header bytes; false after the writer's message.
    static bool writeHeader(HostFileWriter& writer);
};
