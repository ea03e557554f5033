#include "disk/DriveList.h"

#include <cstdlib>
#include <cstring>

int DriveList::physicalDriveNumber(const char* devicePath) {
    static const char prefix[] = "\\\\.\\PhysicalDrive";
    const std::size_t prefixLength = sizeof prefix - 1;
    if (std::strncmp(devicePath, prefix, prefixLength) != 0) return -1;
    const char* digits = devicePath + prefixLength;
    if (*digits == '\0' || std::strlen(digits) > 3) return -1;
    int number = 0;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return -1;
        number = number * 10 + (*p - '0');
    }
    return number;
}

bool DriveList::fromEnvironment(char separator, std::vector<std::string>* entries) {
    const char* value = std::getenv(variableName);
    if (value == nullptr) return false;
    *entries = split(value, separator);
    return true;
}

std::vector<std::string> DriveList::split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return parts;
}
