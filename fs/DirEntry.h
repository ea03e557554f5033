#pragma once

#include <cstdint>
#include <string>

class HostFileReader;
class HostFileWriter;
class RecorderDisk;

// One directory slot: a 256-byte entry image, the same bytes as in a backup file. The name
// is a NUL-terminated string from offset 0 within the first 212 bytes; the eleven 32-bit
// words from offset 212 on are little-endian. On the disk the name bytes are stored
// word-swapped and the eleven words as they are; reading and writing a slot convert.
class DirEntry {
public:
    static constexpr std::uint32_t entrySize = 256;
    static constexpr std::uint32_t nameFieldSize = 212;
    static constexpr std::uint64_t directoryPosition = 5ull * 1048576;

    // Reads slot `slot` from the disk; the entry is valid when its sector could be read and
    // the slot's first four bytes are not all zero.
    DirEntry(RecorderDisk& disk, std::int32_t slot);
    // Slot `slot` from its 256 bytes as read from the disk with word swapping on (the whole
    // sector swapped), or from none when its sector could not be read.
    DirEntry(RecorderDisk& disk, std::int32_t slot, const std::uint8_t* slotAsRead);
    // An entry read from a backup file; it belongs to no slot (index -1).
    explicit DirEntry(HostFileReader& reader);
    // An entry made for a backup file, belonging to no slot: the name (cut to 211 bytes, so
    // that a terminator follows) and the fields given; every other byte is zero.
    DirEntry(const std::string& name, std::int32_t firstCluster, std::uint32_t startOffset, std::uint64_t sizeBytes);
    virtual ~DirEntry();

    DirEntry(const DirEntry&) = delete;
    DirEntry& operator=(const DirEntry&) = delete;
    // Only for a container that makes its entries in place.
    DirEntry(DirEntry&&) = default;

    std::int32_t index() const { return slot; }
    bool isValid() const { return valid; }
    // Whether the slot's sector could be read. A slot that was not read is not free: what it
    // holds is unknown, and its sector holds a second slot.
    bool wasRead() const { return sectorRead; }
    // True when the image's first four bytes are all zero: such a slot reads as free.
    static bool isFreeImage(const std::uint8_t* entryImage);

    // Empty for an invalid entry; at most 212 characters, also without a terminator.
    std::string name() const;
    // The name as the tool shows it: names come from the disk or a backup file, so each of
    // their control bytes is shown as "?".
    std::string shownName() const;
    std::int32_t firstCluster() const;  // -1 when invalid
    void setFirstCluster(std::int32_t cluster);
    std::uint32_t startOffset() const;  // 0 when invalid, as are the sizes
    std::uint32_t sizeMiB() const;
    std::uint32_t sizeRemainder() const;
    std::uint64_t sizeBytes() const;
    // In memory; writeBack takes it to the slot.
    void setSize(std::uint32_t mebibytes, std::uint32_t remainder);

    // The raw image, for backup files and tests.
    const std::uint8_t* image() const { return bytes; }

    // Zeroes a valid entry and writes it to its slot; an invalid entry stays as it is (true).
    // When the write fails the entry keeps its recording, as the slot on the disk does.
    bool clear();
    // Writes the image into the entry's slot; the other slot of the sector keeps its bytes.
    // False when the sector cannot be read (nothing is written then) or the write fails,
    // and for an entry that belongs to no slot.
    bool writeBack();
    // Exactly 256 bytes make the entry valid; fewer print a message and return false.
    bool readFrom(HostFileReader& reader);
    // Makes the entry free again in memory only, for an image read from a file that never
    // reached the slot; the disk is not touched.
    void forget();
    bool writeTo(HostFileWriter& writer) const;

    static std::uint64_t slotPosition(std::int32_t slot) { return directoryPosition + std::uint64_t(slot) * entrySize; }

private:
    static constexpr std::uint32_t firstClusterOffset = 224;
    static constexpr std::uint32_t startOffsetOffset = 228;
    static constexpr std::uint32_t sizeMiBOffset = 232;
    static constexpr std::uint32_t sizeRemainderOffset = 236;

    std::uint32_t fieldAt(std::uint32_t offset) const;
    void takeSlot(const std::uint8_t* slotAsRead);
    // Reverses the four bytes of each of the eleven words behind the name field.
    static void swapIntegerWords(std::uint8_t* entryImage);

    RecorderDisk* disk;  // none for an entry from a backup file
    std::int32_t slot;
    bool valid = false;
    bool sectorRead = false;
    std::uint8_t bytes[entrySize] = {};
};
