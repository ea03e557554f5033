#pragma once

#include <cstdint>

#include "rip/RipSource.h"
#include "app/AllRecordings.h"

class ClusterTable;
class Directory;
class RecorderDisk;

// The front end: picks the command by word 1, checks its further words in a fixed order,
// makes sure the recorder's disk was found where the command needs it, runs the command
// and turns its result into the exit status (0 success, 1 failure or help).
class DiskTool {
public:
    // The front end on the process-wide recorder disk, its table and directory.
    DiskTool(std::int32_t argCount, char** args);
    // The front end on the disk of the given directory, which need not be loaded yet (whole
    // commands run this way on in-memory drives).
    DiskTool(std::int32_t argCount, char** args, Directory& directory);
    virtual ~DiskTool();

    std::int32_t run();

    // True when a rip word names a recording on the disk rather than a backup file:
    // "0", "00", or any word whose decimal reading is not 0 ("7", "07", "12abc").
    static bool isRecordingNumber(const char* word);
    // A save, delete or rip number read as a signed decimal number (leading blanks and a sign
    // allowed, reading stops at the first other character); -1 when the word has no digit.
    static std::int32_t recordingNumber(const char* word);

private:
    std::int32_t runDump();
    std::int32_t runList();
    std::int32_t runImage();
    std::int32_t runRecording();
    std::int32_t runSaveOrDelete(bool save);
    std::int32_t runLoad();
    std::int32_t runRip(bool audioOnly, RipSource::Output output = RipSource::Output::ElementaryStreams);
    std::int32_t runCheck();
    // `all` in place of a number: the operation on every recording, the drive held throughout.
    std::int32_t runAll(AllRecordings::Operation operation);
    std::int32_t runRecover();

    bool checkDisk();
    // Locks the found drive for the command (shared when it only reads the disk, exclusive when
    // it writes it), before the command reads anything but sector 0.
    bool holdDisk(bool exclusive);
    void printVersion();
    void printHelp();

    bool hasWord(std::int32_t index) const { return argCount > index; }
    RecorderDisk& recorderDisk();
    ClusterTable& clusterTable();
    Directory& directory();

    std::int32_t argCount;
    char** args;
    Directory* givenDirectory = nullptr;  // none: the process-wide one
};
