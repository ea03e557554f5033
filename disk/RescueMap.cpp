#include "disk/RescueMap.h"

#include <cinttypes>

#include "base/HostFileWriter.h"
#include "base/TextFormat.h"
#include "disk/DiskDevice.h"

namespace {
constexpr std::uint64_t sectorSize = DiskDevice::sectorSize;

std::string block(std::uint64_t position, std::uint64_t size, char status) {
    return TextFormat::format("0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", position, size, status);
}
}  // namespace

void RescueMap::addUnreadable(std::uint64_t position) {
    if (!spans.empty() && spans.back().position + spans.back().size == position) {
        spans.back().size += sectorSize;
        return;
    }
    spans.push_back(Span{position, sectorSize});
}

std::uint64_t RescueMap::unreadableSectors() const {
    std::uint64_t sectors = 0;
    for (const Span& span : spans) sectors += span.size / sectorSize;
    return sectors;
}

std::string RescueMap::text(std::uint64_t copySize) const {
    std::string lines =
        "# Mapfile. Created by VelmoranDisk: '+' read, '-' unreadable sector, zeros in the copy\n"
        "# current_pos  current_status  current_pass\n"
        "0x00000000     +               1\n"
        "#      pos        size  status\n";
    std::uint64_t position = 0;
    for (const Span& span : spans) {
        if (span.position > position) lines += block(position, span.position - position, '+');
        lines += block(span.position, span.size, '-');
        position = span.position + span.size;
    }
    if (copySize > position) lines += block(position, copySize - position, '+');
    return lines;
}

bool RescueMap::writeTo(const HostFileName& path, std::uint64_t copySize) const {
    HostFileWriter writer(path);
    const std::string lines = text(copySize);
    return writer.isOpen() && writer.write(lines.data(), lines.size()) && writer.close();
}
