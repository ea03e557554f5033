#include "base/HostVolume.h"

#ifdef _WIN32
#include <windows.h>

#include <cwchar>
#else
#include <sys/statvfs.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
#endif

#ifdef _WIN32
HostVolume HostVolume::currentFolder() {
    HostVolume volume;
    ULARGE_INTEGER available;
    if (GetDiskFreeSpaceExW(nullptr, &available, nullptr, nullptr)) volume.free = available.QuadPart;
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (GetVolumeInformationW(nullptr, nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1) &&
        (std::wcscmp(fileSystem, L"FAT") == 0 || std::wcscmp(fileSystem, L"FAT32") == 0))
        volume.largest = fatLargestFile;
    return volume;
}
#else
HostVolume HostVolume::currentFolder() {
    HostVolume volume;
    struct statvfs space;
    if (statvfs(".", &space) == 0) volume.free = std::uint64_t{space.f_bavail} * space.f_frsize;
#ifdef __linux__
    struct statfs kind;
    if (statfs(".", &kind) == 0 && kind.f_type == MSDOS_SUPER_MAGIC) volume.largest = fatLargestFile;
#endif
    return volume;
}
#endif
