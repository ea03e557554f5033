#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ClusterTable;
class HostFileReader;
class RecorderDisk;

// The development commands on the recorder's disk as a whole: the disk copied into the image
// file "Velmoran.img" (a raw copy from byte 0, no header) and back, wiped to zeros but for
// its signature, or formatted with an empty file system sized to it. The disk moves in 1 MiB
// chunks through one buffer per operation, from byte 0 upwards. Lives for one command, on
// the recorder disk the front end found and the allocation table of that disk.
class DiskMaintenance {
public:
    static const char imageFileName[];

    DiskMaintenance(RecorderDisk& disk, ClusterTable& table);
    virtual ~DiskMaintenance();

    DiskMaintenance(const DiskMaintenance&) = delete;
    DiskMaintenance& operator=(const DiskMaintenance&) = delete;

    // Copies the disk into the image file up to the first read that delivers nothing, or
    // through the first chunk shorter than 1 MiB. Where the drive's length is known, that is
    // its end: a chunk that cannot be read whole before it is read around its unreadable
    // sectors, which become zeros; they are then reported and listed in a ddrescue map file
    // beside the image, and the save fails. Where the length is unknown, the image ends at the
    // first chunk that cannot be read whole. False also when the file cannot be created or a
    // write to it, its final flush included, fails.
    bool saveImage();
    // Writes the image file onto the disk from byte 0, with a progress meter of one step per
    // chunk read. True when the whole file reached the disk; false when it cannot be opened,
    // or after a message with the byte position when reading it or writing the disk failed
    // before its end (the disk holds the image up to that position, and an empty directory
    // when the image reaches it).
    // So that the directory never names clusters of another table or data that did not
    // arrive, an image that reaches the directory cluster first clears it, and the image's own
    // directory cluster is written last, once all the rest has reached the disk. A shorter
    // image carries no directory and leaves the disk's as it was.
    bool loadImage();
    // The wipe; false when the disk was not found or a write failed before the end of the
    // disk (message with the cluster). The directory cluster is cleared before the wipe
    // begins, so that a wipe that stops never leaves slots naming clusters it freed.
    bool wipeCommand();
    // The wipe (directory first), then a new allocation table with every cluster that can be
    // read free. False, before anything is written, when the disk was not found or (after a
    // message) its table was not read whole; false after a message when the wipe failed
    // before the end of the disk (then no table is written) or the table could not be written.
    bool formatCommand();

private:
    // The unreadable parts of the disk told, and the map beside the image written; false.
    bool reportUnreadable(const std::vector<std::uint64_t>& unreadable, std::uint64_t imageSize);

    enum class LoadEnd { ImageEnd, ImageReadError, DiskWriteError, DirectoryNotCleared, DirectoryNotWritten };

    // Writes the image onto the disk from byte 0 up to the end of the file or the first
    // failure, one meter step per chunk read; `loaded` counts the bytes that reached the disk,
    // the directory cluster's among them once they are held back.
    LoadEnd copyImageToDisk(HostFileReader& image, std::uint64_t* loaded, bool* directoryCleared);
    // The message of a load that stopped; after a disk write or image read failure, also that
    // the directory was left empty, when it had been cleared.
    void reportLoadEnd(LoadEnd end, std::uint64_t loaded, bool directoryCleared);
    // Writes the chunk of zeros over the directory cluster; whether it reached the disk.
    bool clearDirectory(std::uint8_t* zeros);
    // The same for wipe and format, with a message when it fails.
    bool clearDirectoryFirst(std::uint8_t* zeros);
    // The directory cleared, then the wipe, then whether it reached the end of the disk.
    bool wipeToDiskEnd();
    // Zeros over the whole megabytes of the disk, cluster 0 keeping the signature, up to the
    // first write that fails, with a progress meter of one step per cluster after cluster 0.
    // `zeros` is a chunk of zeros, and is one again afterwards. The number of cluster writes,
    // the first and the failing last one counted.
    std::uint64_t wipeDisk(std::uint8_t* zeros);
    // Writes one chunk of the image at the byte position `loaded`: whole sectors in one
    // transfer, a part of a last sector merged into what that sector holds on the disk.
    bool writeImageChunk(const std::uint8_t* chunk, std::size_t length, std::uint64_t loaded);
    bool writePartialSector(const std::uint8_t* bytes, std::size_t length, std::uint64_t position);
    // Whether a wipe of `writes` cluster writes stopped at the end of the disk: the failing
    // write came after the directory cluster and that cluster cannot be read whole either.
    // Prints the failure when not. `scratch` takes the read of that cluster.
    bool wipeReachedDiskEnd(std::uint64_t writes, std::uint8_t* scratch);
    std::uint64_t meterTotal();

    RecorderDisk& disk;
    ClusterTable& table;
};
