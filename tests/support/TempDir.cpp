#include "support/TempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "disk/RecorderDisk.h"

namespace fs = std::filesystem;

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = fs::temp_directory_path() /
                                   ("velmoran-test-" + std::to_string(seed()) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            folder = candidate.string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(folder, error);
}

std::string TempDir::file(const std::string& name) const { return (fs::path(folder) / name).string(); }

std::string TempDir::makeImage(const std::string& name, std::uint64_t size, bool signature) const {
    const std::string path = file(name);
    { std::ofstream create(path, std::ios::binary | std::ios::trunc); }
    fs::resize_file(path, size);
    if (signature) writeAt(path, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
    return path;
}

void TempDir::writeAt(const std::string& file, std::uint64_t position, const void* bytes, std::size_t length) {
    std::fstream stream(file, std::ios::binary | std::ios::in | std::ios::out);
    stream.seekp(static_cast<std::streamoff>(position));
    stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
    if (!stream) throw std::runtime_error("cannot write " + file);
}

std::vector<std::uint8_t> TempDir::readAt(const std::string& file, std::uint64_t position, std::size_t length) {
    std::ifstream stream(file, std::ios::binary);
    stream.seekg(static_cast<std::streamoff>(position));
    std::vector<std::uint8_t> bytes(length);
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return bytes;
}

std::string TempDir::readAll(const std::string& file) {
    // In one read: files of many MiB are read after every run of a fault sweep.
    std::ifstream stream(file, std::ios::binary | std::ios::ate);
    const std::streamoff size = stream ? static_cast<std::streamoff>(stream.tellg()) : -1;
    if (size <= 0) return std::string();
    std::string bytes(static_cast<std::size_t>(size), '\0');
    stream.seekg(0);
    stream.read(&bytes[0], static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(stream.gcount()));
    return bytes;
}

void TempDir::writeAll(const std::string& file, const std::string& bytes) {
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
