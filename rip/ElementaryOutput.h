#pragma once

#include <memory>
#include <string>

#include "rip/RipOutput.h"

class HostFileName;
class StreamWriter;

// The rip's files: in audio mode <base>.mpa with the audio payloads, in movie mode
// <base>_video.pes and <base>_audio.pes, each the plain sequence of its payloads.
class ElementaryOutput : public RipOutput {
public:
    // Creates the files; one that cannot be created has said so and leaves isOpen false.
    ElementaryOutput(const HostFileName& baseName, bool audioOnly);
    ~ElementaryOutput() override;

    bool isOpen() const override;
    bool video(const std::uint8_t* stored, std::uint32_t length, bool zeroed) override;
    bool audio(const std::uint8_t* stored, std::uint32_t length, bool zeroed) override;
    bool close() override;

private:
    std::unique_ptr<StreamWriter> videoFile;
    std::unique_ptr<StreamWriter> audioFile;
};
