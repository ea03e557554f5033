#include "support/RecorderLayout.h"

#include <algorithm>
#include <cstring>

#include "support/TempDir.h"

namespace {
constexpr std::uint64_t tablePosition = 512;

void putLittleEndian(std::uint8_t* bytes, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<std::uint8_t>(value >> (8 * k));
}
}  // namespace

RecorderLayout::RecorderLayout(std::int32_t clusterCount) : table(4u * maxClusterCount) {
    for (std::int32_t cluster = 0; cluster < maxClusterCount; ++cluster)
        setEntry(cluster, cluster >= 6 && cluster < clusterCount ? 0 : -1);
}

void RecorderLayout::setEntry(std::int32_t cluster, std::int32_t value) {
    putLittleEndian(&table[4u * static_cast<std::uint32_t>(cluster)], static_cast<std::uint32_t>(value));
}

std::int32_t RecorderLayout::entry(std::int32_t cluster) const {
    const std::uint8_t* bytes = &table[4u * static_cast<std::uint32_t>(cluster)];
    return static_cast<std::int32_t>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t{bytes[3]} << 24);
}

void RecorderLayout::addChain(const std::vector<std::int32_t>& chain) {
    for (std::size_t k = 0; k < chain.size(); ++k) setEntry(chain[k], k + 1 < chain.size() ? chain[k + 1] : -1);
}

void RecorderLayout::putSlot(std::int32_t slot, const std::string& name, std::int32_t firstCluster,
                             std::uint32_t sizeMiB, std::uint32_t sizeRemainder) {
    slots[slot] = slotOnDisk(name, firstCluster, 0, sizeMiB, sizeRemainder);
}

std::vector<std::uint8_t> RecorderLayout::slotOnDisk(const std::string& name, std::int32_t firstCluster,
                                                     std::uint32_t startOffset, std::uint32_t sizeMiB,
                                                     std::uint32_t sizeRemainder) {
    std::vector<std::uint8_t> slot(256);
    std::memcpy(slot.data(), name.data(), std::min<std::size_t>(name.size(), 212));
    for (std::size_t k = 0; k < 212; k += 4) {
        std::swap(slot[k], slot[k + 3]);
        std::swap(slot[k + 1], slot[k + 2]);
    }
    putLittleEndian(&slot[224], static_cast<std::uint32_t>(firstCluster));
    putLittleEndian(&slot[228], startOffset);
    putLittleEndian(&slot[232], sizeMiB);
    putLittleEndian(&slot[236], sizeRemainder);
    return slot;
}

void RecorderLayout::writeTo(const std::string& imageFile) const {
    TempDir::writeAt(imageFile, tablePosition, table.data(), table.size());
    for (const auto& slot : slots)
        TempDir::writeAt(imageFile, directoryPosition + 256u * static_cast<std::uint32_t>(slot.first),
                         slot.second.data(), slot.second.size());
}

void RecorderLayout::copyInto(std::vector<std::uint8_t>& drive) const {
    std::copy(table.begin(), table.end(), drive.begin() + tablePosition);
    for (const auto& slot : slots)
        std::copy(slot.second.begin(), slot.second.end(),
                  drive.begin() + static_cast<std::ptrdiff_t>(directoryPosition + 256u * static_cast<std::uint32_t>(slot.first)));
}
