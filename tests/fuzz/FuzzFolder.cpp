#include "FuzzFolder.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

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
    std::string bytes;
    std::FILE* stream = std::fopen(file.c_str(), "rb");
    if (!stream) return bytes;
    if (std::fseek(stream, 0, SEEK_END) == 0) bytes.resize(static_cast<std::size_t>(std::max(0L, std::ftell(stream))));
    std::rewind(stream);
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), stream));
    std::fclose(stream);
    return bytes;
}
