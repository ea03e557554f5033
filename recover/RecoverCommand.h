#pragma once

#include <cstdint>
#include <string>

#include "recover/RecordingSearch.h"

class ClusterCopier;
class Directory;

// The recover command: lists the recordings that no directory slot reaches any more
// (RecordingSearch), numbered from 1 in ascending order of their first clusters, or writes one
// or all of them into backup files Velmoran_recovered_<n>.vlm in the current folder. A file
// holds the found clusters whole, behind a MiB of zeros where the recording's first cluster is
// unknown; its entry names the recording "Wiederhergestellt <first cluster>" (or as a slot
// still names it) and gives the start offset and the size up to the end of the last record.
// Nothing is written to the disk.
class RecoverCommand {
public:
    explicit RecoverCommand(Directory& directory);
    virtual ~RecoverCommand();

    RecoverCommand(const RecoverCommand&) = delete;
    RecoverCommand& operator=(const RecoverCommand&) = delete;

    // A line per recording found and a last line that sums up; true.
    bool list();
    // Writes the recording of that number; false after a message when there is none, or when
    // its file is not complete or not true to the disk.
    bool save(std::int32_t number);
    // Writes every recording found; true when every file is complete and true to the disk.
    bool saveAll();

    static std::string fileNameFor(std::int32_t number);

private:
    void search();
    void printFindings() const;
    // The backup file of the recording; false after a message when it is not complete or holds
    // zeros for sectors that could not be read.
    bool write(const FoundRecording& found, std::int32_t number);
    bool copyClusters(const FoundRecording& found, ClusterCopier& copier);

    Directory& directory;
    RecordingSearch recordingSearch;
};
