#include "disk/MountTable.h"

// Only POSIX systems have mount tables; Windows asks its own volume services.
#ifndef _WIN32

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {
constexpr std::uint32_t driveRemovable = 2;
constexpr std::uint32_t driveFixed = 3;
constexpr std::uint32_t driveCdrom = 5;
constexpr int scsiTypeOptical = 5;

bool isOctal(char c) { return c >= '0' && c <= '7'; }

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int numberInFile(const fs::path& file) {
    std::ifstream stream(file);
    int value = -1;
    stream >> value;
    return stream ? value : -1;
}

fs::path resolved(const fs::path& path) {
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    return error ? path : target;
}

// The sysfs folder of a block device: by its device number when the node exists here,
// otherwise by its name.
fs::path sysfsEntryOf(const std::string& device, const fs::path& sysFolder) {
    struct stat status;
    if (stat(device.c_str(), &status) == 0 && S_ISBLK(status.st_mode)) {
        const fs::path byNumber = sysFolder / "dev" / "block" /
                                  (std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev)));
        if (fs::exists(byNumber)) return resolved(byNumber);
    }
    return resolved(sysFolder / "class" / "block" / resolved(device).filename());
}
}  // namespace

std::vector<MountTable::Mount> MountTable::blockDeviceMounts(const std::string& mountsFile) {
    std::ifstream stream(mountsFile);
    const std::string text((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    return parseBlockDeviceMounts(text);
}

std::vector<MountTable::Mount> MountTable::parseBlockDeviceMounts(const std::string& mountsText) {
    std::vector<Mount> visible;
    std::istringstream lines(mountsText);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, fileSystem;
        if (!(fields >> source >> mountPoint >> fileSystem)) continue;
        const Mount mount{decodeMountField(source), decodeMountField(mountPoint), decodeMountField(fileSystem)};
        bool hidesEarlier = false;
        for (Mount& earlier : visible) {
            if (earlier.mountPoint != mount.mountPoint) continue;
            earlier = mount;
            hidesEarlier = true;
        }
        if (!hidesEarlier) visible.push_back(mount);
    }
    std::vector<Mount> blockDevices;
    for (const Mount& mount : visible)
        if (mount.source.compare(0, 5, "/dev/") == 0) blockDevices.push_back(mount);
    return blockDevices;
}

bool MountTable::find(const std::vector<Mount>& mounts, const std::string& mountPoint, Mount* found) {
    for (const Mount& mount : mounts) {
        if (mount.mountPoint != mountPoint) continue;
        *found = mount;
        return true;
    }
    return false;
}

std::uint32_t MountTable::driveTypeOf(const std::string& device, const std::string& sysFolder) {
    const fs::path entry = sysfsEntryOf(device, sysFolder);
    std::error_code error;
    // A partition's folder lies inside the folder of its disk.
    const fs::path disk = fs::exists(entry / "partition", error) ? entry.parent_path() : entry;
    const std::string diskName = disk.filename().string();
    const fs::path diskFolder = fs::path(sysFolder) / "block" / diskName;
    if (diskName.compare(0, 2, "sr") == 0 || numberInFile(diskFolder / "device" / "type") == scsiTypeOptical)
        return driveCdrom;
    if (numberInFile(diskFolder / "removable") == 1) return driveRemovable;
    return driveFixed;
}

std::string MountTable::volumeLabelOf(const std::string& device, const std::string& byLabelFolder) {
    const fs::path target = resolved(device);
    std::error_code error;
    for (fs::directory_iterator link(byLabelFolder, error), end; !error && link != end; link.increment(error)) {
        if (resolved(link->path()) == target) return decodeLabelName(link->path().filename().string());
    }
    return std::string();
}

std::string MountTable::decodeMountField(const std::string& field) {
    std::string text;
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && k + 3 < field.size() && isOctal(field[k + 1]) && isOctal(field[k + 2]) &&
            isOctal(field[k + 3])) {
            text.push_back(static_cast<char>((field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 + (field[k + 3] - '0')));
            k += 3;
        } else {
            text.push_back(field[k]);
        }
    }
    return text;
}

std::string MountTable::decodeLabelName(const std::string& name) {
    std::string text;
    for (std::size_t k = 0; k < name.size(); ++k) {
        if (name[k] == '\\' && k + 3 < name.size() && name[k + 1] == 'x' && hexValue(name[k + 2]) >= 0 &&
            hexValue(name[k + 3]) >= 0) {
            text.push_back(static_cast<char>(hexValue(name[k + 2]) * 16 + hexValue(name[k + 3])));
            k += 3;
        } else {
            text.push_back(name[k]);
        }
    }
    return text;
}
#endif
