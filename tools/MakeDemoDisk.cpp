// Writes a demo recorder disk: a sparse image file with the recorder's signature, a cluster
// allocation table sized to the image, and a few recordings in the directory whose cluster
// chains are scattered over the disk. Each recording holds a stream of 8196-byte records as
// the recorder writes them (an id, then a payload stored word-swapped): video, audio and other
// records in turn, the payloads a counting pattern rather than real pictures and sound. Given
// an MPEG video and an MPEG audio file, recording 1 carries them instead, in video and audio
// records as a recorder interleaves them, so that an export has real material to work on.
// Usage: MakeDemoDisk <image file> [size in MiB, default 48] [<video file> <audio file>]
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/LittleEndian.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/DirEntry.h"

namespace {
struct DemoRecording {
    std::int32_t slot;
    const char* name;
    std::vector<std::int32_t> chain;
    std::uint32_t sizeRemainder;  // bytes in the chain's last cluster
};

// Chains out of order on purpose, with gaps that stay free. The highest cluster used is 23.
const DemoRecording demoRecordings[] = {
    {0, "Tagesschau 20 Uhr", {9, 7, 12}, 734003},
    {1, "Tatort: Mord im Schwarzwald", {6, 8, 10, 11}, 1048576},
    {3, "Konzert im Stadtpark (100% live)", {15, 14, 20}, 12345},
    {7, "Hoerspiel Die Schatzinsel", {23, 16}, 500000},
};
constexpr std::int32_t highestDemoCluster = 23;

class ImageFile {
public:
    explicit ImageFile(const char* path) : stream(path, std::ios::binary | std::ios::in | std::ios::out) {}

    bool writeAt(std::uint64_t position, const void* bytes, std::size_t length) {
        stream.seekp(static_cast<std::streamoff>(position));
        stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
        return static_cast<bool>(stream);
    }

private:
    std::fstream stream;
};

// Table entries from byte 512 on: clusters 0 to 5 reserved, the image's data clusters free
// unless a recording uses them, every cluster past the image's end EndOfChain.
std::vector<std::uint8_t> tableEntries(std::int32_t clusterCount) {
    std::vector<std::uint8_t> entries(4u * ClusterTable::maxClusterCount);
    auto setEntry = [&](std::int32_t cluster, std::int32_t value) {
        LittleEndian::store32(&entries[4u * static_cast<std::uint32_t>(cluster)], static_cast<std::uint32_t>(value));
    };
    for (std::int32_t cluster = 0; cluster < ClusterTable::maxClusterCount; ++cluster) {
        const bool onDisk = cluster >= ClusterTable::firstDataCluster && cluster < clusterCount;
        setEntry(cluster, onDisk ? ClusterTable::FreeCluster : ClusterTable::EndOfChain);
    }
    for (const DemoRecording& recording : demoRecordings) {
        for (std::size_t k = 0; k < recording.chain.size(); ++k) {
            const bool last = k + 1 == recording.chain.size();
            setEntry(recording.chain[k], last ? ClusterTable::EndOfChain : recording.chain[k + 1]);
        }
    }
    return entries;
}

// The slot as the disk holds it: name bytes word-swapped, the integer words little-endian.
std::vector<std::uint8_t> slotBytes(const DemoRecording& recording) {
    std::vector<std::uint8_t> slot(DirEntry::entrySize);
    std::memcpy(slot.data(), recording.name, std::strlen(recording.name));
    RecorderDisk::swapWords(slot.data(), DirEntry::nameFieldSize, true);
    const auto fullClusters = static_cast<std::uint32_t>(recording.chain.size() - 1);
    LittleEndian::store32(&slot[224], static_cast<std::uint32_t>(recording.chain.front()));
    LittleEndian::store32(&slot[232], fullClusters + recording.sizeRemainder / RecorderDisk::clusterSize);
    LittleEndian::store32(&slot[236], recording.sizeRemainder % RecorderDisk::clusterSize);
    return slot;
}

struct Material {
    std::string video;
    std::string audio;
};

std::string readFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The next record's kind and payload: the material's video and audio, each at its own pace,
// after the first record (which no rip or export writes) and until both are used up; then
// records of other kinds, their payloads zeros.
std::uint32_t materialRecord(const Material& material, std::uint64_t record, std::size_t& video, std::size_t& audio,
                             std::uint8_t* payload, std::uint32_t payloadSize) {
    std::memset(payload, 0, payloadSize);
    const bool videoLeft = video < material.video.size();
    const bool audioLeft = audio < material.audio.size();
    if (record == 0 || (!videoLeft && !audioLeft)) return 3;
    const bool takeVideo = !audioLeft || (videoLeft && video * material.audio.size() <= audio * material.video.size());
    const std::string& from = takeVideo ? material.video : material.audio;
    std::size_t& used = takeVideo ? video : audio;
    const std::size_t piece = std::min<std::size_t>(payloadSize, from.size() - used);
    std::memcpy(payload, from.data() + used, piece);
    used += piece;
    return takeVideo ? 1 : 2;
}

// The record stream of a recording laid over its chain, cluster by cluster.
bool writeRecords(ImageFile& image, const DemoRecording& recording, const Material* material) {
    constexpr std::uint32_t recordSize = 8196;
    static const std::uint32_t kinds[] = {1, 1, 2, 1, 3, 2};  // video, audio and other records
    const std::uint64_t length = std::uint64_t(recording.chain.size()) * RecorderDisk::clusterSize;
    std::vector<std::uint8_t> stream(length);
    std::size_t video = 0;
    std::size_t audio = 0;
    for (std::uint64_t position = 0, record = 0; position + recordSize <= length; position += recordSize, ++record) {
        std::uint8_t* bytes = &stream[position];
        if (material) {
            LittleEndian::store32(bytes, materialRecord(*material, record, video, audio, bytes + 4, recordSize - 4));
        } else {
            LittleEndian::store32(bytes, kinds[record % 6]);
            for (std::uint32_t k = 4; k < recordSize; ++k) bytes[k] = static_cast<std::uint8_t>(record + k);
        }
        RecorderDisk::swapWords(bytes + 4, recordSize - 4, true);
    }
    bool ok = true;
    for (std::size_t k = 0; k < recording.chain.size(); ++k)
        ok = ok && image.writeAt(std::uint64_t(recording.chain[k]) * RecorderDisk::clusterSize,
                                 &stream[k * RecorderDisk::clusterSize], RecorderDisk::clusterSize);
    return ok;
}

bool writeRecorderDisk(const char* path, std::int32_t clusterCount, const Material* material) {
    ImageFile image(path);
    const std::uint64_t size = std::uint64_t(clusterCount) * RecorderDisk::clusterSize;
    const char last = 0;
    bool ok = image.writeAt(size - 1, &last, 1);
    ok = ok && image.writeAt(0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
    const std::vector<std::uint8_t> entries = tableEntries(clusterCount);
    ok = ok && image.writeAt(RecorderDisk::sectorSize, entries.data(), entries.size());
    for (const DemoRecording& recording : demoRecordings) {
        const std::vector<std::uint8_t> slot = slotBytes(recording);
        ok = ok && image.writeAt(DirEntry::slotPosition(recording.slot), slot.data(), slot.size());
        ok = ok && writeRecords(image, recording, recording.slot == 1 ? material : nullptr);
    }
    return ok;
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: MakeDemoDisk <image file> [size in MiB]\n");
        return 2;
    }
    const long sizeMiB = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 48;
    if (sizeMiB <= highestDemoCluster || sizeMiB > ClusterTable::maxClusterCount) {
        std::fprintf(stderr, "MakeDemoDisk: the demo disk takes %d to %d MiB\n", highestDemoCluster + 1,
                     ClusterTable::maxClusterCount);
        return 2;
    }
    {
        std::ofstream create(argv[1], std::ios::binary | std::ios::trunc);
        if (!create) {
            std::fprintf(stderr, "MakeDemoDisk: cannot create %s\n", argv[1]);
            return 1;
        }
    }
    Material material;
    if (argc > 4) {
        material.video = readFile(argv[3]);
        material.audio = readFile(argv[4]);
    }
    if (!writeRecorderDisk(argv[1], static_cast<std::int32_t>(sizeMiB), argc > 4 ? &material : nullptr)) {
        std::fprintf(stderr, "MakeDemoDisk: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
