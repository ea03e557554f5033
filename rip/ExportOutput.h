#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/HostFileName.h"
#include "rip/RipOutput.h"
#include "rip/StreamWriter.h"

class MpegExport;

// An export into one file that players open: in movie mode <base>.mpg, an MPEG-2 program
// stream with the video and the sound; in audio mode <base>.mp2, the sound's MPEG audio frames.
// Payloads with zeros for unreadable sectors are left out as gaps. At the end the export says
// how many frames the damage cost, and fails (after a message) where a stream held data that
// gave nothing playable; a file without anything playable is removed.
class ExportOutput : public RipOutput {
public:
    ExportOutput(const HostFileName& baseName, bool audioOnly);
    ~ExportOutput() override;

    bool isOpen() const override { return file.isOpen(); }
    bool video(const std::uint8_t* stored, std::uint32_t length, bool zeroed) override;
    bool audio(const std::uint8_t* stored, std::uint32_t length, bool zeroed) override;
    void gap() override;
    bool close() override;
    void closeAfterFailure() override;

private:
    // A payload of one stream (AccessUnitSink's numbering) into the export.
    void pass(int stream, const std::uint8_t* stored, std::uint32_t length);
    // What the export gave, told to the user; false where it is not the file it should be.
    bool report();

    const bool audioOnly;
    const HostFileName fileName;
    StreamWriter file;
    std::unique_ptr<MpegExport> exporter;
};
