#include "recover/RecordPhase.h"

#include <cstring>

#include "base/LittleEndian.h"
#include "disk/RecorderDisk.h"
#include "fs/RecordFormat.h"

namespace {
constexpr std::uint32_t recordSize = RecordFormat::recordSize;
// The phase moves by this much from one cluster to the next: -1 MiB mod 8196.
constexpr std::uint32_t stepPerCluster = recordSize - RecorderDisk::clusterSize % recordSize;
}  // namespace

std::uint32_t RecordPhase::next(std::uint32_t phase) { return (phase + stepPerCluster) % recordSize; }

std::uint32_t RecordPhase::after(std::uint32_t phase, std::uint64_t steps) {
    return static_cast<std::uint32_t>((phase + steps % recordSize * stepPerCluster) % recordSize);
}

std::uint32_t RecordPhase::lastBoundary(std::uint32_t phase) {
    return phase + (RecorderDisk::clusterSize - 1 - phase) / recordSize * recordSize;
}

bool RecordPhase::isAllZero(const std::uint8_t* bytes, std::uint32_t length) {
    // Every byte is zero when the first is and each equals the one behind it.
    return length == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, length - 1) == 0);
}

bool RecordPhase::isRecordAt(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t position) {
    return position + 4 <= length && RecordFormat::isRecordId(LittleEndian::load32(bytes + position));
}

// A valid id is a word of one non-zero byte and three zero bytes. The rows of 8196 bytes that
// every phase has in the bytes are merged by OR: a phase is looked at closely only where the
// merged bytes show that pattern, which in other data is rare.
std::vector<std::uint32_t> RecordPhase::phasesOf(const std::uint8_t* bytes, std::uint32_t length) {
    std::vector<std::uint32_t> phases;
    if (length < 2 * recordSize + 3 || isAllZero(bytes, length)) return phases;
    const std::uint32_t rows = (length - 4 - (recordSize - 1)) / recordSize + 1;
    std::vector<std::uint8_t> merged(bytes, bytes + recordSize + 3);
    for (std::uint32_t row = 1; row < rows; ++row) {
        const std::uint8_t* from = bytes + std::size_t{row} * recordSize;
        for (std::size_t k = 0; k < merged.size(); ++k) merged[k] |= from[k];
    }
    const std::uint8_t* start = merged.data();
    const std::uint8_t* end = start + merged.size();
    for (const std::uint8_t* zero = start + 1; zero < end - 2;) {
        zero = static_cast<const std::uint8_t*>(std::memchr(zero, 0, std::size_t(end - 2 - zero)));
        if (!zero) break;
        const auto phase = static_cast<std::uint32_t>(zero - 1 - start);
        if (start[phase] != 0 && zero[1] == 0 && zero[2] == 0 &&
            recordsEnd(bytes, length, phase) + 4 > length)
            phases.push_back(phase);
        ++zero;
    }
    return phases;
}

std::uint32_t RecordPhase::recordsEnd(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t phase) {
    std::uint32_t position = phase;
    while (isRecordAt(bytes, length, position)) position += recordSize;
    return position;
}

bool RecordPhase::holdsVideo(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t phase) {
    for (std::uint32_t position = phase; isRecordAt(bytes, length, position); position += recordSize)
        if (LittleEndian::load32(bytes + position) == RecordFormat::videoRecord) return true;
    return false;
}
