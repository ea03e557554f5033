// Fuzz target: arbitrary payload bytes of both streams, with gaps between them, through the
// parsers and the program stream muxer (or the audio file export). The input is a target
// byte (bit 0: audio file), then pieces: a control byte (bit 0: audio, bit 1: a gap in front,
// the rest: 1 + 37 * (control >> 2) bytes, or what is left) and the piece's bytes. Whatever
// comes in, the program stream is whole packs of 2048 bytes and the end code.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FuzzCheck.h"
#include "mpeg/ByteSink.h"
#include "mpeg/MpegExport.h"

namespace {
class PackCheck : public ByteSink {
public:
    bool writeBytes(const std::uint8_t* bytes, std::size_t length) override {
        total += length;
        if (length == 2048) FuzzCheck::expect(std::memcmp(bytes, "\0\0\1\xBA", 4) == 0, "a pack without its header");
        last = length;
        return true;
    }
    std::size_t total = 0;
    std::size_t last = 0;
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const bool audioFile = (data[0] & 1) != 0;
    PackCheck sink;
    MpegExport exporter(sink, audioFile ? MpegExport::Target::AudioFile : MpegExport::Target::ProgramStream);
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t control = data[at++];
        const std::size_t length = std::min<std::size_t>(1 + 37 * (control >> 2), size - at);
        const bool audio = (control & 1) != 0;
        if (control & 2) audio ? exporter.audioGap() : exporter.videoGap();
        audio ? exporter.audio(data + at, length) : exporter.video(data + at, length);
        at += length;
    }
    FuzzCheck::expect(exporter.finish(), "a write failed that cannot fail");
    if (!audioFile) {
        FuzzCheck::expect(sink.total % 2048 == 4 && sink.last == 4, "the program stream is no sequence of whole packs");
        const MpegExport::StreamReport video = exporter.videoReport();
        const MpegExport::StreamReport audio = exporter.audioReport();
        FuzzCheck::expect((video.written + audio.written > 0) == (sink.total > 4), "packs without units or units lost");
    }
    return 0;
}
