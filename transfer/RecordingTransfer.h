#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ClusterCopier;
class ClusterTable;
class HostFileName;
class DirEntry;
class HostFileReader;
class HostFileWriter;
class RecorderDisk;
class Recording;

// Save, load and delete of the recording a handle refers to, on the disk and allocation table
// of the handle's directory. Data move a whole cluster at a time, without word swapping,
// through one 1 MiB transfer buffer per command, with one progress step per cluster.
// Each operation fails at once, without a message of its own, on a handle without an entry
// (the handle has said why); every other failure is reported where it is detected.
class RecordingTransfer {
public:
    explicit RecordingTransfer(Recording& recording);
    virtual ~RecordingTransfer();

    RecordingTransfer(const RecordingTransfer&) = delete;
    RecordingTransfer& operator=(const RecordingTransfer&) = delete;

    // Writes Velmoran_<nr>.vlm in the current folder: header, entry, then every cluster of the
    // chain whole, in chain order. True only when the file holds the whole chain and was
    // closed without error. A cluster with unreadable sectors inside the drive's known length
    // is copied with zeros for them; the file is then complete, Velmoran_<nr>.vlm.map beside
    // it lists them (a ddrescue map file of the backup file), and the save fails with a
    // message naming the clusters. A cluster that cannot be read whole otherwise, or a chain
    // that breaks off (a loop, a free, reserved or outside cluster), ends the copy with a
    // message; the partial file stays. Nothing is written to the disk.
    bool save();
    // The same into the named file, which the message names by its own name; a staged file
    // takes that name only when it is whole (then the map file lies beside it, named after it).
    bool save(const HostFileName& file);
    // Puts the recording of a backup file into the handle's free slot on newly allocated
    // clusters (never on a cluster that the table calls free while a damaged chain runs
    // through it): the data, then the table, then the entry. The recording appears in the
    // directory only when all of its data reached the disk: a load that stops before the
    // table is written leaves the disk's table and directory as they were and gives the
    // clusters it allocated back in memory.
    bool load(const std::string& path);
    // Clears the entry, then frees the valid part of its chain and writes the table back. A
    // failure between the two leaves clusters allocated that no entry names (space lost),
    // never an entry whose clusters are free.
    bool erase();

private:
    RecorderDisk& disk() const;
    ClusterTable& table() const;

    // Copies the chain's clusters into the file; false after a message when a cluster cannot
    // be read whole or written, or when the chain breaks off.
    bool copyChain(std::int32_t first, ClusterCopier& copier, const std::string& fileName);
    bool readHeader(HostFileReader& reader);
    // The file's entry into the free slot's entry (in memory); one that would read as a free
    // slot is refused.
    bool readEntry(HostFileReader& reader, DirEntry& entry);
    // Writes each chunk of the rest of the file to a newly allocated cluster and links them;
    // `first` becomes the chain's first cluster. On failure the clusters are given back.
    bool writeChain(HostFileReader& reader, std::uint8_t* buffer, std::int32_t* first);
    // Stops a load before its chain is written back: the message (severity 2), and the
    // clusters allocated from `first` on given back in memory; false.
    bool abandonChain(int number, const std::string& text, std::int32_t first);
    // The table, then the entry naming the chain.
    bool commit(DirEntry& entry, std::int32_t first, const std::string& path);
    // A table that was not read whole must never be written back: it would replace the
    // unread part of the disk's table with stand-ins.
    bool tableIsWhole();

    Recording& recording;
};
