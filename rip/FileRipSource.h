#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rip/RipSource.h"

class DirEntry;
class HostFileReader;

// A rip of a backup file: the stream is the file's data from behind its header and entry on.
// Needs no recorder disk. The outputs lie beside the backup file, named after it.
class FileRipSource : public RipSource {
public:
    // Opens the backup file (its open failure printed) and, when it opens, creates the outputs.
    FileRipSource(const std::string& fileName, bool audioOnly);
    FileRipSource(const std::string& fileName, bool audioOnly, Output output);
    ~FileRipSource() override;

    bool isReady() const override;

    // The file name without a trailing ".vlm" in any letter case, when something is left in
    // front of it; a path stays.
    static std::string baseNameFor(const std::string& fileName);

protected:
    bool openSource() override;
    std::uint32_t readStream(void* buffer, std::uint32_t count) override;
    bool streamFailed() const override;

private:
    std::string fileName;
    bool readFailed = false;
    std::unique_ptr<HostFileReader> backupFile;
    std::unique_ptr<DirEntry> backupEntry;
};
