#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "mpeg/AccessUnitSink.h"
#include "mpeg/AudioParser.h"
#include "mpeg/BufferPool.h"
#include "mpeg/PayloadInput.h"
#include "mpeg/Timeline.h"
#include "mpeg/VideoParser.h"

class ByteSink;
class ProgramStreamMuxer;

// A recording's video and audio payloads, in the order they were recorded, into one file that
// players open: a program stream with both, or the sound alone as an MPEG audio file (its
// frames as they are, packet headers removed). Each stream's form is told from its bytes;
// damage is told by gaps, and the units it cuts are dropped and counted. Memory stays bounded
// whatever the length.
class MpegExport : private AccessUnitSink {
public:
    enum class Target { ProgramStream, AudioFile };

    struct StreamReport {
        bool sawData = false;  // bytes other than zeros came in
        std::uint64_t written = 0;
        std::uint64_t dropped = 0;
    };

    MpegExport(ByteSink& out, Target target);
    ~MpegExport() override;

    MpegExport(const MpegExport&) = delete;
    MpegExport& operator=(const MpegExport&) = delete;

    void video(const std::uint8_t* bytes, std::size_t length);
    void audio(const std::uint8_t* bytes, std::size_t length);
    // Room for the next `length` payload bytes of a stream (AccessUnitSink::videoStream or
    // audioStream), to be written there and handed on with filled(stream, length): the same as
    // video() or audio() without copying them first.
    std::uint8_t* room(int stream, std::size_t length);
    void filled(int stream, std::size_t length);
    // Bytes of the stream are missing in front of the next ones.
    void videoGap();
    void audioGap();
    // Writes the rest; false when a write failed.
    bool finish();

    StreamReport videoReport() const;
    StreamReport audioReport() const;
    bool sawSequenceHeader() const { return videoParser.sawSequenceHeader(); }

private:
    void accessUnit(int stream, AccessUnit& unit) override;

    ByteSink& out;
    BufferPool pool;
    Timeline timeline;
    std::unique_ptr<ProgramStreamMuxer> muxer;
    VideoParser videoParser;
    AudioParser audioParser;
    PayloadInput videoInput;
    PayloadInput audioInput;
    std::vector<std::uint8_t> ignored;  // video bytes of an audio file export
    std::uint64_t audioFramesWritten = 0;
    bool failed = false;
};
