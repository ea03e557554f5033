#include "rip/ElementaryOutput.h"

#include "base/HostFileName.h"
#include "rip/StreamWriter.h"

ElementaryOutput::ElementaryOutput(const HostFileName& baseName, bool audioOnly) {
    if (audioOnly) {
        audioFile.reset(new StreamWriter(baseName.withSuffix(".mpa")));
        return;
    }
    videoFile.reset(new StreamWriter(baseName.withSuffix("_video.pes")));
    audioFile.reset(new StreamWriter(baseName.withSuffix("_audio.pes")));
}

ElementaryOutput::~ElementaryOutput() = default;

bool ElementaryOutput::isOpen() const { return audioFile->isOpen() && (!videoFile || videoFile->isOpen()); }

bool ElementaryOutput::video(const std::uint8_t* stored, std::uint32_t length, bool) {
    return videoFile && videoFile->writeSwapped(stored, length);
}

bool ElementaryOutput::audio(const std::uint8_t* stored, std::uint32_t length, bool) {
    return audioFile->writeSwapped(stored, length);
}

bool ElementaryOutput::close() {
    bool closed = true;
    if (videoFile) closed = videoFile->close() && closed;
    return audioFile->close() && closed;
}
