#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

// A file's bytes as the fuzz targets compare them, read into a buffer that is handed on from
// input to input: a fresh buffer (or a mapping) of a MiB or two would fault in every page anew,
// which costs more than the read. A file that is missing or cannot be read has no bytes.
class FileBytes {
public:
    explicit FileBytes(const std::string& name);
    ~FileBytes();
    FileBytes(FileBytes&& other) noexcept = default;
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;
    FileBytes& operator=(FileBytes&&) = delete;

    std::string_view bytes() const { return {buffer.get(), length}; }
    std::size_t size() const { return length; }

private:
    std::unique_ptr<char[]> buffer;
    std::size_t capacity = 0;
    std::size_t length = 0;
};
