#include "FuzzFolder.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

const FuzzFolder& FuzzFolder::instance() {
    static const FuzzFolder folder;
    return folder;
}

FuzzFolder::FuzzFolder() {
    if (!std::freopen("/dev/null", "w", stdout)) std::perror("/dev/null");
}

void FuzzFolder::empty() const {
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(path(), error))
        std::filesystem::remove_all(item.path(), error);
}

std::string FuzzFolder::contents(const std::string& file) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) return std::string();
    std::ostringstream bytes;
    bytes << stream.rdbuf();
    return bytes.str();
}
