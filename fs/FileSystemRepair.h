#pragma once

#include <cstdint>
#include <string>

class ClusterTable;
class DirEntry;
class Directory;
class FileSystemCheck;

// Mends what a FileSystemCheck found, as far as nothing that is still reachable is lost: a
// slot whose first cluster is free, reserved or outside is cleared; a size beyond what its
// chain holds is cut to the chain's length; a chain that breaks off ends at its last valid
// cluster; lost clusters are freed, unless a directory sector could not be read (it may hold
// the recordings that reach them). Cross-linked recordings are left as they are. The changed
// directory sectors are written first, then the changed table clusters, as a delete does; a
// table that was not read whole is refused before anything is written.
class FileSystemRepair {
public:
    FileSystemRepair(Directory& directory, const FileSystemCheck& check);
    virtual ~FileSystemRepair();

    FileSystemRepair(const FileSystemRepair&) = delete;
    FileSystemRepair& operator=(const FileSystemRepair&) = delete;

    // Prints each mend; true when every write succeeded and nothing the check found is left.
    bool run();

private:
    // The directory's mends; false after the message of a failed write (the table is then
    // not written).
    bool mendEntries();
    bool clearEntry(DirEntry& entry);
    bool cutSize(DirEntry& entry, std::int32_t length);
    // The table's mends, in memory; the lines that tell them once they are written.
    std::string mendTable();
    void leave(const std::string& line);

    Directory& directory;
    ClusterTable& table;
    const FileSystemCheck& check;
    bool anythingLeft = false;
};
