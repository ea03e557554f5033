#include "disk/PosixPlatform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "disk/DriveList.h"
#include "disk/MountTable.h"

namespace {
// Win32 error codes, so that callers see the same numbers on every system.
constexpr std::uint32_t errorFileNotFound = 2;
constexpr std::uint32_t errorAccessDenied = 5;
constexpr std::uint32_t errorInvalidHandle = 6;
constexpr std::uint32_t errorSectorNotFound = 27;
constexpr std::uint32_t errorReadFault = 30;
constexpr std::uint32_t errorLockViolation = 33;
constexpr std::uint32_t errorNotSupported = 50;
constexpr std::uint32_t errorInvalidParameter = 87;
constexpr std::uint32_t errorNegativeSeek = 131;

// How far ahead of a read the kernel's read-ahead may have left pages that start more of it:
// some 16 to 32 MiB where read_ahead_kb is 8192, so this covers read_ahead_kb up to 16 MiB.
constexpr off_t furthestReadAhead = 64 << 20;

constexpr std::uint64_t sectorSize = 512;

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool isOpticalDevice(const std::string& folder) {
    std::ifstream type(folder + "/device/type");
    int scsiType = -1;
    return (type >> scsiType) && scsiType == 5;
}

std::uint64_t deviceSize(int descriptor) {
    struct stat status;
    if (fstat(descriptor, &status) != 0) return 0;
    std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
#ifdef BLKGETSIZE64
    if (S_ISBLK(status.st_mode)) {
        std::uint64_t bytes = 0;
        size = ioctl(descriptor, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
    }
#endif
    return size - size % sectorSize;
}
}  // namespace

DiskPlatform& DiskPlatform::system() {
    // Never destroyed: the process-wide recorder disk closes its drive through it at exit.
    static PosixPlatform* const platform = new PosixPlatform;
    return *platform;
}

PosixPlatform::VolumeSources PosixPlatform::systemVolumeSources() {
    return VolumeSources{"/proc/self/mounts", "/sys", "/dev/disk/by-label"};
}

PosixPlatform::PosixPlatform() : PosixPlatform(systemVolumeSources()) {}

PosixPlatform::PosixPlatform(const VolumeSources& volumeSources) : volumeSources(volumeSources) {}

std::vector<MountTable::Mount> PosixPlatform::blockDeviceMounts() const {
    return MountTable::blockDeviceMounts(volumeSources.mountsFile);
}

PosixPlatform::~PosixPlatform() {
    for (auto& entry : openDrives) ::close(entry.second.descriptor);
}

bool PosixPlatform::fail(std::uint32_t code) {
    lastError = code;
    return false;
}

std::vector<std::string> PosixPlatform::machineDrives(const std::string& sysBlockFolder) {
    std::vector<std::string> names;
    if (DIR* folder = opendir(sysBlockFolder.c_str())) {
        while (const dirent* item = readdir(folder)) {
            const std::string name = item->d_name;
            if (name.empty() || name[0] == '.') continue;
            if (startsWith(name, "loop") || startsWith(name, "ram") || startsWith(name, "zram") ||
                startsWith(name, "dm-") || startsWith(name, "md") || startsWith(name, "sr"))
                continue;
            if (isOpticalDevice(sysBlockFolder + "/" + name)) continue;
            names.push_back(name);
        }
        closedir(folder);
    }
    std::sort(names.begin(), names.end());
    if (names.size() > 16) names.resize(16);
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back("/dev/" + name);
    return paths;
}

std::string PosixPlatform::drivePath(int number) {
    std::vector<std::string> drives;
    if (!DriveList::fromEnvironment(':', &drives)) drives = machineDrives(volumeSources.sysFolder + "/block");
    if (number < 0 || static_cast<std::size_t>(number) >= drives.size()) return std::string();
    return drives[static_cast<std::size_t>(number)];
}

DiskPlatform::Handle PosixPlatform::createFile(const char* name, std::uint32_t, std::uint32_t, std::uint32_t,
                                               std::uint32_t) {
    const int number = DriveList::physicalDriveNumber(name);
    const std::string path = number < 0 ? std::string() : drivePath(number);
    if (path.empty()) {
        lastError = errorFileNotFound;
        return invalidHandle;
    }
    const int descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (descriptor < 0) {
        lastError = (errno == EACCES || errno == EPERM || errno == EROFS) ? errorAccessDenied : errorFileNotFound;
        return invalidHandle;
    }
    openDrives[descriptor] = OpenDrive{descriptor, deviceSize(descriptor), 0};
    return descriptor;
}

PosixPlatform::OpenDrive* PosixPlatform::find(Handle handle) {
    const auto found = openDrives.find(handle);
    return found == openDrives.end() ? nullptr : &found->second;
}

std::uint32_t PosixPlatform::setFilePointer(Handle handle, std::int32_t low, std::int32_t* high,
                                            std::uint32_t method) {
    OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle), invalidSetFilePointer;
    if (method != moveBegin) return fail(errorInvalidParameter), invalidSetFilePointer;
    const std::int64_t highPart = high ? *high : (low < 0 ? -1 : 0);
    const std::int64_t position =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(highPart) << 32) | static_cast<std::uint32_t>(low));
    if (position < 0) return fail(errorNegativeSeek), invalidSetFilePointer;
    drive->position = static_cast<std::uint64_t>(position);
    // Win32 clears the error only when a successful result could be read as a failure.
    if (static_cast<std::uint32_t>(low) == invalidSetFilePointer) lastError = 0;
    return static_cast<std::uint32_t>(low);
}

bool PosixPlatform::readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) {
    *delivered = 0;
    OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle);
    if (drive->position >= drive->size) return fail(errorSectorNotFound);
    const std::uint64_t wanted = std::min<std::uint64_t>(length, drive->size - drive->position);
    // One read: a drive stops short before a sector it cannot read, and asked again at once
    // it would spend its retries on that sector twice. The caller goes on where it stopped.
    ssize_t got = 0;
    do {
        got = ::pread(drive->descriptor, buffer, wanted, static_cast<off_t>(drive->position));
    } while (got < 0 && errno == EINTR);
    std::uint64_t done = got > 0 ? static_cast<std::uint64_t>(got) : 0;
    // Only whole sectors count; a failure inside a sector leaves what came before it.
    done -= done % sectorSize;
    if (done == 0) return fail(errorReadFault);
    drive->position += done;
    *delivered = static_cast<std::uint32_t>(done);
    return true;
}

bool PosixPlatform::writeFile(Handle handle, const void* buffer, std::uint32_t length, std::uint32_t* written) {
    *written = 0;
    OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle);
    if (drive->position > drive->size || length > drive->size - drive->position) return fail(errorSectorNotFound);
    const auto* bytes = static_cast<const char*>(buffer);
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t put = ::pwrite(drive->descriptor, bytes + done, length - done,
                                     static_cast<off_t>(drive->position + done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<std::uint64_t>(put);
    }
    drive->position += done;
    *written = static_cast<std::uint32_t>(done);
    if (done != length) return fail(errorReadFault);
    return true;
}

DiskPlatform::DriveLock PosixPlatform::lockDrive(Handle handle, bool exclusive, bool wait) {
    OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle), DriveLock::Unsupported;
    const int operation = (exclusive ? LOCK_EX : LOCK_SH) | (wait ? 0 : LOCK_NB);
    int result = 0;
    do {
        result = ::flock(drive->descriptor, operation);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return DriveLock::Taken;
    if (errno == EWOULDBLOCK) return fail(errorLockViolation), DriveLock::Busy;
    return fail(errorNotSupported), DriveLock::Unsupported;
}

void PosixPlatform::adviseReads(Handle handle, ReadPattern pattern, std::uint64_t position) {
#ifdef POSIX_FADV_RANDOM
    const OpenDrive* drive = find(handle);
    if (drive == nullptr) return;
    if (pattern == ReadPattern::Streaming) {
        ::posix_fadvise(drive->descriptor, 0, 0, POSIX_FADV_NORMAL);
        return;
    }
    ::posix_fadvise(drive->descriptor, static_cast<off_t>(position), furthestReadAhead, POSIX_FADV_DONTNEED);
    ::posix_fadvise(drive->descriptor, 0, 0, POSIX_FADV_RANDOM);
#else
    (void)handle;
    (void)pattern;
    (void)position;
#endif
}

bool PosixPlatform::closeHandle(Handle handle) {
    OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle);
    ::close(drive->descriptor);
    openDrives.erase(handle);
    return true;
}

bool PosixPlatform::getDriveLength(Handle handle, std::uint64_t* length) {
    const OpenDrive* drive = find(handle);
    if (drive == nullptr) return fail(errorInvalidHandle);
    *length = drive->size;
    return true;
}

DiskPlatform::Module PosixPlatform::loadLibrary(const char*) {
    // The Windows 9x disk library does not exist here.
    lastError = errorFileNotFound;
    return nullptr;
}

DiskPlatform::Procedure PosixPlatform::getProcAddress(Module, const char*) { return nullptr; }

std::uint32_t PosixPlatform::getLogicalDriveStrings(std::uint32_t length, char* buffer) {
    // The logical drives of this system are the mount points of its block devices.
    std::string list;
    for (const MountTable::Mount& mount : blockDeviceMounts()) {
        list += mount.mountPoint;
        list += '\0';
    }
    if (list.size() + 1 > length) return static_cast<std::uint32_t>(list.size() + 1);
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
}

std::uint32_t PosixPlatform::getDriveType(const char* rootPath) {
    constexpr std::uint32_t driveNoRootDirectory = 1;
    MountTable::Mount mount;
    if (!MountTable::find(blockDeviceMounts(), rootPath, &mount)) return driveNoRootDirectory;
    return MountTable::driveTypeOf(mount.source, volumeSources.sysFolder);
}

bool PosixPlatform::getVolumeInformation(const char* rootPath, char* volumeName, std::uint32_t volumeNameLength,
                                         std::uint32_t* serialNumber, char* fileSystemName,
                                         std::uint32_t fileSystemNameLength) {
    constexpr std::uint32_t errorPathNotFound = 3;
    constexpr std::uint32_t errorBadLength = 24;
    MountTable::Mount mount;
    if (!MountTable::find(blockDeviceMounts(), rootPath, &mount)) return fail(errorPathNotFound);
    const std::string label = MountTable::volumeLabelOf(mount.source, volumeSources.byLabelFolder);
    // As on Windows, a name that does not fit its buffer fails the call rather than being cut.
    if (label.size() >= volumeNameLength || mount.fileSystem.size() >= fileSystemNameLength)
        return fail(errorBadLength);
    std::memcpy(volumeName, label.c_str(), label.size() + 1);
    std::memcpy(fileSystemName, mount.fileSystem.c_str(), mount.fileSystem.size() + 1);
    struct statvfs status;
    *serialNumber = statvfs(rootPath, &status) == 0 ? static_cast<std::uint32_t>(status.f_fsid) : 0;
    return true;
}
