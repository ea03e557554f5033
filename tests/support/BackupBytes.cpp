#include "support/BackupBytes.h"

#include <utility>
#include <vector>

#include "support/RecorderLayout.h"

std::string BackupBytes::header() { return std::string("velmoran hd V1.02 / vlm 1.0") + '\0'; }

std::string BackupBytes::swappedName(std::string bytes) {
    for (std::size_t k = 0; k + 4 <= std::min<std::size_t>(212, bytes.size()); k += 4) {
        std::swap(bytes[k], bytes[k + 3]);
        std::swap(bytes[k + 1], bytes[k + 2]);
    }
    return bytes;
}

std::string BackupBytes::entry(const std::string& name, std::int32_t firstCluster, std::uint32_t sizeMiB,
                               std::uint32_t sizeRemainder) {
    const std::vector<std::uint8_t> slot = RecorderLayout::slotOnDisk(name, firstCluster, 0, sizeMiB, sizeRemainder);
    return swappedName(std::string(slot.begin(), slot.end()));
}

std::string BackupBytes::cluster(std::int32_t seed) {
    std::string bytes(1u << 20, '\0');
    for (std::size_t k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<char>((k * 31 + std::size_t(seed) * 101 + (k >> 12)) & 0xFF);
    return bytes;
}

std::string BackupBytes::word(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>(value >> (8 * k));
    return bytes;
}
