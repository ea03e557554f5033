#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Which path stands behind "\\.\PhysicalDrive<N>" when the drives are given by the
// environment variable VELMORAN_DRIVES (entries counted from 0; ':' separates them on POSIX,
// ';' on Windows; an empty entry is no drive).
class DriveList {
public:
    static constexpr const char* variableName = "VELMORAN_DRIVES";

    // The drive number named by a "\\.\PhysicalDrive<N>" path, or -1 for any other name.
    static int physicalDriveNumber(const char* devicePath);
    // False when the variable is not set.
    static bool fromEnvironment(char separator, std::vector<std::string>* entries);
    static std::vector<std::string> split(const std::string& text, char separator);
};
