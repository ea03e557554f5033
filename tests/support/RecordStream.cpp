#include "support/RecordStream.h"

#include <algorithm>

#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

std::string littleEndian(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<char>(value >> (8 * k));
    return bytes;
}

std::string reversedGroups(std::string bytes) {
    for (std::size_t k = 0; k + 4 <= bytes.size(); k += 4) {
        std::swap(bytes[k], bytes[k + 3]);
        std::swap(bytes[k + 1], bytes[k + 2]);
    }
    return bytes;
}
}  // namespace

void RecordStream::add(std::uint32_t id, const std::string& payload) {
    records.push_back({stream.size(), id, payload});
    stream += littleEndian(id) + reversedGroups(payload);
}

void RecordStream::addBytes(const std::string& bytes) { stream += bytes; }

std::string RecordStream::payloadsOf(std::uint32_t id, std::uint64_t from, std::uint64_t to) const {
    std::string output;
    for (const Record& record : records)
        if (record.id == id && record.position >= from && record.position < to) output += record.payload;
    return output;
}

std::string RecordStream::payload(unsigned seed) {
    std::string bytes(payloadSize, '\0');
    // No byte is zero, so no group reads as a small number.
    for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>(1 + (seed * 37u + k * 11u + k / 251u) % 255u);
    return bytes;
}

void RecordStream::writeOverChain(const std::string& image, const std::vector<std::int32_t>& chain,
                                  const std::string& stream) {
    for (std::size_t k = 0; k < chain.size() && k * mebibyte < stream.size(); ++k) {
        const std::size_t length = std::min<std::size_t>(mebibyte, stream.size() - k * mebibyte);
        TempDir::writeAt(image, std::uint64_t(chain[k]) * mebibyte, stream.data() + k * mebibyte, length);
    }
}

void RecordStream::copyOverChain(std::vector<std::uint8_t>& drive, const std::vector<std::int32_t>& chain,
                                 const std::string& stream) {
    for (std::size_t k = 0; k < chain.size() && k * mebibyte < stream.size(); ++k) {
        const std::size_t length = std::min<std::size_t>(mebibyte, stream.size() - k * mebibyte);
        std::copy(stream.begin() + std::ptrdiff_t(k * mebibyte), stream.begin() + std::ptrdiff_t(k * mebibyte + length),
                  drive.begin() + std::ptrdiff_t(std::uint64_t(chain[k]) * mebibyte));
    }
}

void RecordStream::writeSlot(const std::string& image, std::int32_t slot, const std::string& name,
                             std::int32_t firstCluster, std::uint32_t startOffset, std::uint64_t sizeBytes) {
    const std::vector<std::uint8_t> bytes =
        RecorderLayout::slotOnDisk(name, firstCluster, startOffset, static_cast<std::uint32_t>(sizeBytes / mebibyte),
                                   static_cast<std::uint32_t>(sizeBytes % mebibyte));
    TempDir::writeAt(image, RecorderLayout::directoryPosition + 256u * std::uint32_t(slot), bytes.data(), bytes.size());
}

void RecordStream::writeBackupFile(const std::string& path, const std::string& name, std::uint32_t startOffset,
                                   std::uint64_t sizeBytes, const std::string& data) {
    std::string entry(256, '\0');
    entry.replace(0, name.size(), name);
    entry.replace(224, 4, littleEndian(0x1234));
    entry.replace(228, 4, littleEndian(startOffset));
    entry.replace(232, 4, littleEndian(static_cast<std::uint32_t>(sizeBytes / mebibyte)));
    entry.replace(236, 4, littleEndian(static_cast<std::uint32_t>(sizeBytes % mebibyte)));
    TempDir::writeAll(path, std::string("velmoran hd V1.02 / vlm 1.0", 28) + entry + data);
}
