#include "rip/ElementaryOutput.h"

#include "rip/StreamWriter.h"

ElementaryOutput::ElementaryOutput(const std::string& baseName, bool audioOnly) {
    if (audioOnly) {
        audioFile.reset(new StreamWriter(baseName + ".mpa"));
        return;
    }
    videoFile.reset(new StreamWriter(baseName + "_video.pes"));
    audioFile.reset(new StreamWriter(baseName + "_audio.pes"));
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
