// ffmpeg as the real producer and decoder: an MPEG-2 video elementary stream and an MPEG-1
// layer II audio stream, packed into records as the recorder stores them, must come out of
// the rip as ffmpeg made them and decode to the same frames.
#include <gtest/gtest.h>

#include <string>

#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

#ifndef _WIN32
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

bool onPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

// The frames ffprobe decodes from an elementary stream of the given format.
int decodedFrames(const std::string& file, const char* format, const char* stream) {
    const std::string command = std::string("ffprobe -v error -count_frames -select_streams ") + stream +
                                " -show_entries stream=nb_read_frames -of default=nw=1:nk=1 -f " + format + " " +
                                quoted(file);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return -1;
    char line[64] = {};
    if (!std::fgets(line, sizeof line, pipe.get())) return -1;
    return std::atoi(line);
}

// Cuts a stream into payloads, the last one padded with zeros.
std::vector<std::string> payloads(const std::string& stream) {
    std::vector<std::string> pieces;
    for (std::size_t offset = 0; offset < stream.size(); offset += RecordStream::payloadSize) {
        std::string piece = stream.substr(offset, RecordStream::payloadSize);
        piece.resize(RecordStream::payloadSize, '\0');
        pieces.push_back(piece);
    }
    return pieces;
}

std::string padded(std::string stream) {
    stream.resize((stream.size() + RecordStream::payloadSize - 1) / RecordStream::payloadSize * RecordStream::payloadSize,
                  '\0');
    return stream;
}
}  // namespace

TEST(RipRealClient, FfmpegStreamsComeOutWholeAndDecode) {
    if (!onPath("ffmpeg") || !onPath("ffprobe")) GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH (Debian package ffmpeg)";
    TempDir temp;
    const std::string videoFile = temp.file("film.m2v");
    const std::string audioFile = temp.file("ton.mp2");
    ASSERT_EQ(0, std::system(("ffmpeg -v error -y -f lavfi -i testsrc=size=176x144:rate=25 -t 1 -c:v mpeg2video "
                              "-f mpeg2video " + quoted(videoFile)).c_str()));
    ASSERT_EQ(0, std::system(("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
                              "-c:a mp2 -b:a 128k -f mp2 " + quoted(audioFile)).c_str()));
    const int videoFrames = decodedFrames(videoFile, "mpegvideo", "v:0");
    const int audioFrames = decodedFrames(audioFile, "mp3", "a:0");
    ASSERT_EQ(25, videoFrames);
    ASSERT_EQ(42, audioFrames);
    const std::string video = TempDir::readAll(videoFile);
    const std::string audio = TempDir::readAll(audioFile);

    // Records of other kinds first, so that the streams' records straddle a cluster boundary,
    // then video and audio interleaved with more of them.
    RecordStream records;
    for (unsigned k = 0; k < 125; ++k) records.add(k % 2 ? 10 : 4, RecordStream::payload(k));
    const std::vector<std::string> videoPayloads = payloads(video);
    const std::vector<std::string> audioPayloads = payloads(audio);
    for (std::size_t k = 0; k < videoPayloads.size() || k < audioPayloads.size(); ++k) {
        if (k < videoPayloads.size()) records.add(1, videoPayloads[k]);
        records.add(3, RecordStream::payload(unsigned(k)));
        if (k < audioPayloads.size()) records.add(2, audioPayloads[k]);
    }

    const std::string image = temp.makeImage("disk.img", 16 * mebibyte, true);
    RecorderLayout layout(16);
    layout.addChain({11, 7});
    layout.writeTo(image);
    RecordStream::writeOverChain(image, {11, 7}, records.bytes());
    RecordStream::writeSlot(image, 2, "Testbild", 11, 0, records.size());
    RecordStream::writeBackupFile(temp.file("testbild.vlm"), "Testbild", 0, records.size(), records.bytes());

    struct Rip {
        const char* mode;
        std::string word;
        std::string videoOutput;  // empty in audio mode
        std::string audioOutput;
    };
    const Rip rips[] = {
        {"movie", "2", "Velmoran_2_video.pes", "Velmoran_2_audio.pes"},
        {"audio", "2", "", "Velmoran_2.mpa"},
        {"movie", "testbild.vlm", "testbild_video.pes", "testbild_audio.pes"},
        {"audio", "testbild.vlm", "", "testbild.mpa"},
    };
    for (const Rip& rip : rips) {
        const ToolResult result = ToolRunner::run({rip.mode, "rip", rip.word}, {image}, temp.path());
        ASSERT_EQ(0, result.status) << result.output;
        if (!rip.videoOutput.empty()) {
            EXPECT_EQ(padded(video), TempDir::readAll(temp.file(rip.videoOutput))) << rip.videoOutput;
            EXPECT_EQ(videoFrames, decodedFrames(temp.file(rip.videoOutput), "mpegvideo", "v:0")) << rip.videoOutput;
        }
        EXPECT_EQ(padded(audio), TempDir::readAll(temp.file(rip.audioOutput))) << rip.audioOutput;
        EXPECT_EQ(audioFrames, decodedFrames(temp.file(rip.audioOutput), "mp3", "a:0")) << rip.audioOutput;
    }
}
#else
TEST(RipRealClient, FfmpegStreamsComeOutWholeAndDecode) {
    GTEST_SKIP() << "ffmpeg and ffprobe are run through the POSIX shell";
}
#endif
