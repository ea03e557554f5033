#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The cluster allocation table and directory slots of a recorder disk, composed byte by
// byte the way the recorder stores them, for writing into an image file or a fake drive.
// Table entries are little-endian at byte 512 + 4 * cluster; slot names are word-swapped.
class RecorderLayout {
public:
    static constexpr std::int32_t maxClusterCount = 0x13FF80;
    static constexpr std::uint64_t directoryPosition = 5ull << 20;

    // Clusters 6 to clusterCount - 1 free; 0 to 5 and all from clusterCount on EndOfChain.
    explicit RecorderLayout(std::int32_t clusterCount);

    void setEntry(std::int32_t cluster, std::int32_t value);
    std::int32_t entry(std::int32_t cluster) const;
    // Links the clusters in the given order and ends the chain after the last.
    void addChain(const std::vector<std::int32_t>& chain);
    // A slot with a name (copied without its terminator when it fills 212 bytes or more).
    void putSlot(std::int32_t slot, const std::string& name, std::int32_t firstCluster, std::uint32_t sizeMiB,
                 std::uint32_t sizeRemainder);

    // The 256 bytes of a slot as they lie on the disk.
    static std::vector<std::uint8_t> slotOnDisk(const std::string& name, std::int32_t firstCluster,
                                                std::uint32_t startOffset, std::uint32_t sizeMiB,
                                                std::uint32_t sizeRemainder);

    // Table and the slots that were put; nothing else of the image or drive is touched.
    void writeTo(const std::string& imageFile) const;
    void copyInto(std::vector<std::uint8_t>& drive) const;

private:
    std::vector<std::uint8_t> table;  // the entries, from byte 512 of the disk on
    std::map<std::int32_t, std::vector<std::uint8_t>> slots;
};
