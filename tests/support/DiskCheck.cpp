#include "support/DiskCheck.h"

#include <cstring>

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
constexpr std::uint64_t directoryPosition = 5 * mebibyte;
constexpr std::int32_t firstDataCluster = 6;
constexpr std::int32_t tableEntries = 0x13FF80;

std::uint32_t littleEndian(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}
}  // namespace

DiskCheck::DiskCheck(const std::vector<std::uint8_t>& drive)
    : drive(drive), driveClusters(static_cast<std::int32_t>(drive.size() / mebibyte)) {
    if (drive.size() < 6 * mebibyte || std::memcmp(drive.data(), "velmoran hd V1.02", 18) != 0) {
        found.push_back("no recorder disk: signature, table or directory missing");
        return;
    }
    for (std::int32_t slot = 0; slot < 4096; ++slot) {
        const std::uint8_t* bytes = drive.data() + directoryPosition + 256u * std::uint32_t(slot);
        if (bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0 && bytes[3] == 0) continue;
        walkSlot(slot, static_cast<std::int32_t>(littleEndian(bytes + 224)));
    }
}

std::int32_t DiskCheck::entry(std::int32_t cluster) const {
    if (cluster < 0 || cluster >= tableEntries) return -1;
    const std::uint64_t position = 512 + 4 * std::uint64_t(cluster);
    if (position + 4 > drive.size()) return -1;
    return static_cast<std::int32_t>(littleEndian(drive.data() + position));
}

void DiskCheck::walkSlot(std::int32_t slot, std::int32_t first) {
    std::vector<std::int32_t>& chain = slotChains[slot];
    const std::string name = "slot " + std::to_string(slot) + ": ";
    std::int32_t cluster = first;
    while (cluster != -1) {
        if (cluster < firstDataCluster || cluster >= driveClusters) {
            found.push_back(name + "chain leads to cluster " + std::to_string(cluster) + ", not on the drive");
            return;
        }
        if (entry(cluster) == 0) {
            found.push_back(name + "cluster " + std::to_string(cluster) + " of its chain is free");
            return;
        }
        const auto holder = owner.find(cluster);
        if (holder != owner.end()) {
            found.push_back(name + "cluster " + std::to_string(cluster) +
                            (holder->second == slot ? " comes round again" : " belongs to slot " +
                                                                               std::to_string(holder->second)));
            return;
        }
        owner[cluster] = slot;
        chain.push_back(cluster);
        cluster = entry(cluster);
    }
}

std::set<std::int32_t> DiskCheck::unreachableInUse() const {
    std::set<std::int32_t> lost;
    for (std::int32_t cluster = firstDataCluster; cluster < driveClusters; ++cluster)
        if (entry(cluster) != 0 && owner.count(cluster) == 0) lost.insert(cluster);
    return lost;
}
