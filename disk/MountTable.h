#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The mounted file systems of a POSIX machine, which the drive report lists in place of the
// logical drives of a Windows PC: the mount point stands for the root path, and the device
// behind it decides whether it counts as fixed, removable or optical.
class MountTable {
public:
    struct Mount {
        std::string source;      // the mounted device, e.g. "/dev/sda1"
        std::string mountPoint;  // e.g. "/home"
        std::string fileSystem;  // e.g. "ext4"
    };

    // The mounts of block devices (sources under /dev/), one per mount point, in the order the
    // mount points first appear. A later mount on the same point hides the earlier one.
    static std::vector<Mount> blockDeviceMounts(const std::string& mountsFile = "/proc/self/mounts");
    static std::vector<Mount> parseBlockDeviceMounts(const std::string& mountsText);
    static bool find(const std::vector<Mount>& mounts, const std::string& mountPoint, Mount* found);

    // The Win32 drive type of the disk that holds the device: 5 optical, 2 removable, 3 fixed
    // (also when the system tells nothing about the device).
    static std::uint32_t driveTypeOf(const std::string& device, const std::string& sysFolder = "/sys");
    // The label the system knows for the device, or an empty text.
    static std::string volumeLabelOf(const std::string& device,
                                     const std::string& byLabelFolder = "/dev/disk/by-label");

    // The mount table writes blanks, tabs, line ends and backslashes as "\ooo" (octal).
    static std::string decodeMountField(const std::string& field);
    // Label links write unsafe characters as "\xHH".
    static std::string decodeLabelName(const std::string& name);
};
