#include "TableInput.h"

#include <algorithm>
#include <cstring>

#include "FuzzDisks.h"
#include "support/RecorderLayout.h"

namespace {
constexpr std::size_t mebibyte = 1u << 20;

// The places on the drive of the input's parts after its choice byte, in input order.
struct Part {
    std::uint64_t position;
    std::size_t length;
};

std::vector<Part> parts() {
    std::vector<Part> list;
    list.push_back({TableInput::entryPosition(0), 4 * TableInput::mappedEntries});
    list.push_back({TableInput::slotPosition(0), 256 * TableInput::mappedSlots});
    for (std::int32_t cluster = 6; cluster < TableInput::clusterCount; ++cluster)
        list.push_back({std::uint64_t(cluster) * mebibyte, TableInput::dataPiece});
    return list;
}

// A recording with an empty chain, for the slots of a full directory.
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

std::int32_t TableInput::fill(std::vector<std::uint8_t>& drive, const std::uint8_t* data, std::size_t size) {
    drive = formattedDrive();
    const std::uint8_t choice = size > 0 ? data[0] : 0;
    if (choice & 8) {
        const std::vector<std::uint8_t> filler = fillerSlot();
        for (std::int32_t k = mappedSlots; k < 4096; ++k)
            std::copy(filler.begin(), filler.end(), drive.begin() + std::ptrdiff_t(slotPosition(k)));
    }
    std::size_t used = std::min<std::size_t>(size, 1);
    for (const Part& part : parts()) {
        if (used >= size) break;
        const std::size_t length = std::min(part.length, size - used);
        std::memcpy(drive.data() + part.position, data + used, length);
        used += length;
    }
    return choice & 7;
}

std::string TableInput::input(const std::vector<std::uint8_t>& drive, std::int32_t slot, bool fullDirectory) {
    std::string bytes(1, static_cast<char>((slot & 7) | (fullDirectory ? 8 : 0)));
    for (const Part& part : parts())
        bytes.append(reinterpret_cast<const char*>(drive.data() + part.position), part.length);
    return bytes;
}
