#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

// Reads a recorder disk's table and directory straight from its bytes, independently of the
// tool's own code, and checks what the recorder relies on: every slot in use names a chain of
// allocated data clusters on the drive that ends in EndOfChain, without loops, and no two
// chains share a cluster. Used after faults and fuzzed inputs to tell a consistent disk.
class DiskCheck {
public:
    // The drive's bytes are read, not copied: they must outlive the check.
    explicit DiskCheck(const std::vector<std::uint8_t>& drive);
    DiskCheck(std::vector<std::uint8_t>&&) = delete;

    // One line per problem found; empty when the disk is consistent.
    const std::vector<std::string>& problems() const { return found; }
    // The slots in use, each with the clusters of its chain (its valid part) in chain order.
    const std::map<std::int32_t, std::vector<std::int32_t>>& chains() const { return slotChains; }
    // Data clusters on the drive that the table marks in use but no slot's chain reaches.
    std::set<std::int32_t> unreachableInUse() const;
    // The table entry of a cluster as stored on the disk.
    std::int32_t entry(std::int32_t cluster) const;

private:
    void walkSlot(std::int32_t slot, std::int32_t first);

    const std::vector<std::uint8_t>& drive;
    std::int32_t driveClusters;
    std::vector<std::string> found;
    std::map<std::int32_t, std::vector<std::int32_t>> slotChains;
    std::map<std::int32_t, std::int32_t> owner;  // cluster -> slot whose chain holds it
};
