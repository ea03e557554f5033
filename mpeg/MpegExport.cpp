#include "mpeg/MpegExport.h"

#include "mpeg/ByteSink.h"
#include "mpeg/ProgramStreamMuxer.h"

MpegExport::MpegExport(ByteSink& out, Target target)
    : out(out),
      muxer(target == Target::ProgramStream ? new ProgramStreamMuxer(out) : nullptr),
      videoParser(*this, timeline, pool),
      audioParser(*this, timeline, pool),
      videoInput(true, videoParser),
      audioInput(false, audioParser) {}

MpegExport::~MpegExport() = default;

void MpegExport::video(const std::uint8_t* bytes, std::size_t length) {
    if (muxer) videoInput.feed(bytes, length);
}

void MpegExport::audio(const std::uint8_t* bytes, std::size_t length) { audioInput.feed(bytes, length); }

std::uint8_t* MpegExport::room(int stream, std::size_t length) {
    if (stream == audioStream) return audioInput.room(length);
    if (muxer) return videoInput.room(length);
    ignored.resize(length);
    return ignored.data();
}

void MpegExport::filled(int stream, std::size_t length) {
    if (stream == audioStream)
        audioInput.filled(length);
    else if (muxer)
        videoInput.filled(length);
}

void MpegExport::videoGap() {
    if (muxer) videoInput.gap();
}

void MpegExport::audioGap() { audioInput.gap(); }

bool MpegExport::finish() {
    if (muxer) videoInput.finish();
    audioInput.finish();
    if (muxer && !muxer->finish()) failed = true;
    return !failed;
}

void MpegExport::accessUnit(int stream, AccessUnit& unit) {
    if (muxer) {
        muxer->accessUnit(stream, unit);
        return;
    }
    if (!failed && !out.writeBytes(unit.bytes.data(), unit.bytes.size())) failed = true;
    ++audioFramesWritten;
}

MpegExport::StreamReport MpegExport::videoReport() const {
    StreamReport report;
    report.sawData = videoInput.sawData();
    report.written = muxer ? muxer->unitsWritten(videoStream) : 0;
    report.dropped = videoParser.unitsDropped();
    return report;
}

MpegExport::StreamReport MpegExport::audioReport() const {
    StreamReport report;
    report.sawData = audioInput.sawData();
    report.written = muxer ? muxer->unitsWritten(audioStream) : audioFramesWritten;
    report.dropped = audioParser.unitsDropped();
    return report;
}
