#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A recording's stream composed the way the recorder writes it: records of a 4-byte id
// (least significant byte first) and an 8192-byte payload whose 4-byte groups are stored in
// reverse order, back to back; damage is put in as raw bytes. It remembers what an output
// must receive, and lays the stream onto a disk image, a fake drive or a backup file.
class RecordStream {
public:
    static constexpr std::uint32_t recordSize = 8196;
    static constexpr std::uint32_t payloadSize = 8192;

    // A record whose payload reaches an output as `payload` (8192 bytes).
    void add(std::uint32_t id, const std::string& payload);
    // Bytes as they are: damage, filler, a record cut short.
    void addBytes(const std::string& bytes);

    const std::string& bytes() const { return stream; }
    std::uint64_t size() const { return stream.size(); }
    // What an output receives from the whole records of `id` that begin at positions from
    // `from` up to below `to`, in stream order.
    std::string payloadsOf(std::uint32_t id, std::uint64_t from, std::uint64_t to = UINT64_MAX) const;

    // 8192 bytes that differ for every seed and of which no 4-byte group reads as a record id.
    static std::string payload(unsigned seed);

    // The stream laid over the clusters of a chain, one MiB per cluster.
    static void writeOverChain(const std::string& image, const std::vector<std::int32_t>& chain,
                               const std::string& stream);
    static void copyOverChain(std::vector<std::uint8_t>& drive, const std::vector<std::int32_t>& chain,
                              const std::string& stream);
    // A directory slot as the disk holds it, with a start offset and a size in bytes.
    static void writeSlot(const std::string& image, std::int32_t slot, const std::string& name,
                          std::int32_t firstCluster, std::uint32_t startOffset, std::uint64_t sizeBytes);
    // A backup file: the header, the 256-byte entry (name in reading order, words
    // little-endian) and `data` behind it.
    static void writeBackupFile(const std::string& path, const std::string& name, std::uint32_t startOffset,
                                std::uint64_t sizeBytes, const std::string& data);

private:
    struct Record {
        std::uint64_t position;
        std::uint32_t id;
        std::string payload;
    };
    std::string stream;
    std::vector<Record> records;
};
