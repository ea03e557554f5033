#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A fresh folder below the system's temporary folder, removed with everything in it when
// the object goes. Disk images made in it are sparse.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return folder; }
    std::string file(const std::string& name) const;

    // A sparse image file of `size` bytes; with `signature`, sector 0 starts with the recorder's signature.
    std::string makeImage(const std::string& name, std::uint64_t size, bool signature) const;

    static void writeAt(const std::string& file, std::uint64_t position, const void* bytes, std::size_t length);
    static std::vector<std::uint8_t> readAt(const std::string& file, std::uint64_t position, std::size_t length);
    static std::string readAll(const std::string& file);
    static void writeAll(const std::string& file, const std::string& bytes);

private:
    std::string folder;
};
