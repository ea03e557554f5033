#include "BackupInput.h"

#include <algorithm>

#include "FuzzDisks.h"
#include "StreamInput.h"
#include "support/BackupBytes.h"

namespace {
constexpr std::size_t backupHeader = 28;
constexpr std::size_t entrySize = 256;
constexpr std::size_t streamLimit = (1u << 20) + 100000;

std::string entry(const std::uint8_t* field, std::uint64_t streamLength) {
    std::uint64_t sizeMiB = FuzzDisks::littleEndian(field + 12);
    std::uint64_t remainder = FuzzDisks::littleEndian(field + 16);
    if (field[11] % 2 == 0) {
        const auto delta = static_cast<std::int16_t>(field[12] | field[13] << 8);
        const std::uint64_t size = std::max<std::int64_t>(0, std::int64_t(streamLength) + delta);
        sizeMiB = size >> 20;
        remainder = size & 0xFFFFF;
    }
    return BackupInput::entryImage(field + 2, field[6], FuzzDisks::littleEndian(field + 20), FuzzDisks::littleEndian(field + 7),
                                   static_cast<std::uint32_t>(sizeMiB), static_cast<std::uint32_t>(remainder));
}
}  // namespace

std::string BackupInput::entryImage(const std::uint8_t* name, std::uint8_t nameLength, std::uint32_t firstCluster,
                                    std::uint32_t startOffset, std::uint32_t sizeMiB, std::uint32_t remainder) {
    std::string bytes(entrySize, '\0');
    const std::size_t length = std::min<std::size_t>(std::max<std::size_t>(nameLength, 4), 212);
    for (std::size_t k = 0; k < length; ++k) bytes[k] = static_cast<char>(k < 4 ? name[k] : 'a' + k % 26);
    bytes.replace(224, 4, BackupBytes::word(firstCluster));
    bytes.replace(228, 4, BackupBytes::word(startOffset));
    bytes.replace(232, 4, BackupBytes::word(sizeMiB));
    bytes.replace(236, 4, BackupBytes::word(remainder));
    return bytes;
}

void BackupInput::expand(const std::uint8_t* data, std::size_t size, std::string& file) {
    file.clear();
    std::uint8_t field[headerSize] = {};
    std::copy(data, data + std::min(size, headerSize), field);
    file += BackupBytes::header();
    if (field[0] >= 128 && field[0] < 156) file[field[0] - 128] = static_cast<char>(file[field[0] - 128] + 1);
    if (field[0] >= 156) return file.resize((field[0] - 156) % backupHeader);
    file.resize(backupHeader + entrySize);
    if (size > headerSize) StreamInput::expand(data + headerSize, size - headerSize, streamLimit, file);
    file.replace(backupHeader, entrySize, entry(field, file.size() - backupHeader - entrySize));
    if (field[1] < 64) file.resize(backupHeader + 4 * std::size_t(field[1]));
}
