#include "TableInput.h"

#include <algorithm>
#include <cstring>

#include "BackupInput.h"
#include "StreamInput.h"
#include "support/BackupBytes.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;
constexpr std::size_t runSize = 1 + StreamInput::itemSize;
constexpr std::int32_t dataClusters = TableInput::clusterCount - 6;

void putSlot(FuzzDrive& drive, std::int32_t slot, const std::uint8_t* field) {
    const std::string entry =
        BackupInput::entryImage(field, field[4], FuzzDisks::littleEndian(field + 5), FuzzDisks::littleEndian(field + 9),
                                FuzzDisks::littleEndian(field + 13), FuzzDisks::littleEndian(field + 17));
    const std::string onDisk = BackupBytes::swappedName(entry);
    drive.put(TableInput::slotPosition(slot), reinterpret_cast<const std::uint8_t*>(onDisk.data()), onDisk.size());
}

void putRuns(FuzzDrive& drive, const std::uint8_t* runs, std::size_t size) {
    static std::string records;
    std::size_t filled[dataClusters] = {};
    for (std::size_t at = 0; at + runSize <= size; at += runSize) {
        const std::size_t cluster = runs[at] % dataClusters;
        records.clear();
        StreamInput::expand(runs + at + 1, StreamInput::itemSize, mebibyte, records);
        const std::size_t length = std::min(records.size(), mebibyte - filled[cluster]);
        drive.put((6 + cluster) * mebibyte + filled[cluster], reinterpret_cast<const std::uint8_t*>(records.data()),
                  length);
        filled[cluster] += length;
    }
}

// A recording with an empty chain, for the slots of a crowded directory.
std::vector<std::uint8_t> fillerSlot() { return RecorderLayout::slotOnDisk("Fuellung", -1, 0, 0, 0); }
}  // namespace

const std::vector<std::uint8_t>& TableInput::formattedDrive() {
    static const std::vector<std::uint8_t> base = [] {
        std::vector<std::uint8_t> drive = FuzzDisks::signedDrive();
        RecorderLayout(clusterCount).copyInto(drive);
        for (std::size_t position = 6 * mebibyte; position < drive.size(); position += 4) drive[position] = 3;
        return drive;
    }();
    return base;
}

std::int32_t TableInput::fill(FuzzDrive& drive, const std::uint8_t* data, std::size_t size) {
    std::uint8_t header[headerSize] = {};
    std::copy(data, data + std::min(size, headerSize), header);
    if ((header[0] & crowdedDirectoryBits) == crowdedDirectoryBits) {
        static const std::vector<std::uint8_t> filler = fillerSlot();
        for (std::int32_t slot = 15; slot < 4096; slot += 16) drive.put(slotPosition(slot), filler.data(), filler.size());
    }
    // Entries and slots that the input leaves out stay as the base has them.
    const std::size_t entryBytes = std::min<std::size_t>(4 * mappedEntries, size > 1 ? size - 1 : 0);
    drive.put(entryPosition(0), header + 1, entryBytes);
    for (std::int32_t slot = 0; slot < mappedSlots; ++slot)
        if (1 + 4 * mappedEntries + slotSize * std::size_t(slot + 1) <= size)
            putSlot(drive, slot, header + 1 + 4 * mappedEntries + slotSize * std::size_t(slot));
    if (size > headerSize) putRuns(drive, data + headerSize, size - headerSize);
    return header[0] & 7;
}

std::string TableInput::input(const std::vector<std::uint8_t>& drive, std::int32_t slot, bool crowdedDirectory,
                              const std::string& runs) {
    std::string bytes(1, static_cast<char>((slot & 7) | (crowdedDirectory ? crowdedDirectoryBits : 0)));
    bytes.append(reinterpret_cast<const char*>(drive.data() + entryPosition(0)), 4 * mappedEntries);
    for (std::int32_t k = 0; k < mappedSlots; ++k) {
        const std::uint8_t* onDisk = drive.data() + slotPosition(k);
        const std::string name = BackupBytes::swappedName(std::string(onDisk, onDisk + 256));
        bytes += name.substr(0, 4);
        bytes += static_cast<char>(std::min<std::size_t>(std::strlen(name.c_str()), 212));
        bytes.append(reinterpret_cast<const char*>(onDisk + 224), 16);
    }
    return bytes + runs;
}
