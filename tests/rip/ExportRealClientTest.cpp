// ffmpeg makes the material, the export packs it into one file, and ffprobe and ffmpeg judge
// that file as a player meets it: format, streams, frame counts, duration, a silent decode,
// rising DTS, a seek into the middle, and for packetised material the stamps as recorded.
#include <gtest/gtest.h>

#include <string>

#include "support/RecordStream.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

#ifndef _WIN32
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <vector>

#include "support/CurrentFolder.h"
#include "support/InMemoryRecorder.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;

std::string capture(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
    std::string text;
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, n);
    return text;
}

struct Material {
    std::string video;  // elementary stream or PES packets
    std::string audio;
    std::vector<double> videoPts, audioPts;  // of the packets, for packetised material
    int videoFrames = 0, audioFrames = 0;
    double duration = 0;
};

// Video at `rate` with B pictures and MP2 sound, 4 s; as elementary streams or as the PES
// packets of the program stream ffmpeg writes (packs, system headers and padding removed).
Material make(const TempDir& temp, const std::string& rate, bool packets, int sampleRate = 48000) {
    Material m;
    const std::string v = temp.file("m.m2v"), a = temp.file("m.mp2"), ps = temp.file("m.mpg");
    const std::string input = "-f lavfi -i testsrc=size=176x144:duration=4:rate=" + rate +
                              " -f lavfi -i sine=duration=4:sample_rate=" + std::to_string(sampleRate) +
                              " -c:v mpeg2video -bf 2 -g 12 -c:a mp2 -b:a 128k ";
    capture("ffmpeg -v error -y " + input + "-map 0:v -f mpeg2video " + v + " -map 1:a -f mp2 " + a + " -map 0:v -map 1:a -f vob " + ps);
    std::istringstream counts(capture("ffprobe -v error -count_frames -show_entries stream=nb_read_frames:format=duration "
                                      "-of default=nw=1:nk=1 " + ps));
    counts >> m.videoFrames >> m.audioFrames >> m.duration;
    if (!packets) {
        m.video = TempDir::readAll(v);
        m.audio = TempDir::readAll(a);
        return m;
    }
    const std::string bytes = TempDir::readAll(ps);
    for (std::size_t i = 0; i + 6 <= bytes.size();) {
        const auto id = static_cast<std::uint8_t>(bytes[i + 3]);
        const std::size_t length = id == 0xBA ? 14 + (bytes[i + 13] & 7) : id == 0xB9 ? 4 :
                                   6 + (std::uint8_t(bytes[i + 4]) << 8 | std::uint8_t(bytes[i + 5]));
        if (id == 0xE0) m.video += bytes.substr(i, length);
        if (id == 0xC0) m.audio += bytes.substr(i, length);
        i += length;
    }
    for (const char* s : {"v", "a"}) {
        std::istringstream lines(capture(std::string("ffprobe -v error -select_streams ") + s +
                                         " -show_entries packet=pts_time -of csv=p=0 " + ps));
        for (double t; lines >> t;) (*s == 'v' ? m.videoPts : m.audioPts).push_back(t);
    }
    return m;
}

// Adds `shift` ticks to the stamps of the packets from the `from`-th of each stream on.
void shiftStamps(std::string& pes, std::size_t from, std::int64_t shift) {
    std::size_t index = 0;
    for (std::size_t i = 0; i + 14 <= pes.size(); ++index) {
        const std::size_t length = 6 + (std::uint8_t(pes[i + 4]) << 8 | std::uint8_t(pes[i + 5]));
        const int flags = std::uint8_t(pes[i + 7]) >> 6;
        for (int k = 0; k < (flags == 3 ? 2 : flags == 2 ? 1 : 0) && index >= from; ++k) {
            unsigned char* f = reinterpret_cast<unsigned char*>(&pes[i + 9 + 5 * k]);
            std::uint64_t v = std::uint64_t(f[0] >> 1 & 7) << 30 | f[1] << 22 | (f[2] >> 1) << 15 | f[3] << 7 | f[4] >> 1;
            v = (v + std::uint64_t(shift)) & ((1ull << 33) - 1);
            f[0] = static_cast<unsigned char>((f[0] & 0xF1) | (v >> 30 & 7) << 1);
            f[1] = static_cast<unsigned char>(v >> 22);
            f[2] = static_cast<unsigned char>((v >> 15 & 0x7F) << 1 | 1);
            f[3] = static_cast<unsigned char>(v >> 7);
            f[4] = static_cast<unsigned char>((v & 0x7F) << 1 | 1);
        }
        i += length;
    }
}

// The payloads in the order a recorder writes them, each stream at its own pace; `damage`
// goes in front of the record `at`.
RecordStream records(const Material& m, std::size_t at = SIZE_MAX, const std::string& damage = "") {
    RecordStream stream;
    stream.add(3, RecordStream::payload(0));
    std::size_t v = 0, a = 0;
    for (std::size_t k = 1; v < m.video.size() || a < m.audio.size(); ++k) {
        if (k == at) stream.addBytes(damage);
        const bool video = a >= m.audio.size() || (v < m.video.size() && v * m.audio.size() <= a * m.video.size());
        std::string piece = (video ? m.video.substr(v, 8192) : m.audio.substr(a, 8192));
        piece.resize(8192, '\0');
        stream.add(video ? 1 : 2, piece);
        (video ? v : a) += 8192;
    }
    return stream;
}

struct Judgement {
    std::string streams;  // codec names in order
    int videoFrames = 0, audioFrames = 0;
    double start = 0, duration = 0;
    std::string errors;  // of a full decode
    bool dtsRising = true;
    double seekMiss = 99;
    std::vector<double> videoPts, audioPts;
};

Judgement judge(const std::string& file) {
    Judgement j;
    std::istringstream info(capture("ffprobe -v error -count_frames -show_entries stream=codec_name,nb_read_frames:"
                                    "format=format_name,start_time,duration -of default=nw=1 " + file));
    for (std::string line; std::getline(info, line);) {
        const std::string key = line.substr(0, line.find('=')), value = line.substr(line.find('=') + 1);
        if (key == "codec_name") j.streams += value + " ";
        if (key == "nb_read_frames") (j.videoFrames == 0 && j.streams.find("video") != std::string::npos ? j.videoFrames : j.audioFrames) = std::atoi(value.c_str());
        if (key == "format_name" && value != "mpeg") j.streams += "(format " + value + ")";
        if (key == "start_time") j.start = std::atof(value.c_str());
        if (key == "duration") j.duration = std::atof(value.c_str());
    }
    j.errors = capture("ffmpeg -v error -i " + file + " -f null -");
    std::istringstream packets(capture("ffprobe -v error -show_entries packet=stream_index,pts_time,dts_time -of csv=p=0 " + file));
    double last[2] = {-1, -1};
    for (std::string line; std::getline(packets, line);) {
        int stream = 0;
        char pts[32] = {}, dts[32] = {};
        if (std::sscanf(line.c_str(), "%d,%31[^,],%31s", &stream, pts, dts) < 3 || stream > 1) continue;
        if (std::string(dts) != "N/A") {
            j.dtsRising = j.dtsRising && std::atof(dts) > last[stream];
            last[stream] = std::atof(dts);
        }
        if (std::string(pts) != "N/A") (stream == 0 ? j.videoPts : j.audioPts).push_back(std::atof(pts));
    }
    const double middle = j.start + j.duration / 2;
    std::istringstream seek(capture("ffprobe -v error -read_intervals " + std::to_string(middle) +
                                    "% -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 " + file));
    double landed = 0;
    if (seek >> landed) j.seekMiss = std::fabs(landed - middle);
    return j;
}

class ExportRealClient : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "ffmpeg and ffprobe are not on PATH (Debian package ffmpeg)";
    }
    ToolResult exportFile(const RecordStream& stream, const char* mode = "movie", std::uint64_t size = 0) {
        RecordStream::writeBackupFile(temp.file("film.vlm"), "Film", 0, size ? size : stream.size(), stream.bytes());
        return ToolRunner::run({mode, "export", "film.vlm"}, {""}, temp.path());
    }
    TempDir temp;
};

void expectPlayable(const Judgement& j, const ToolResult& result) {
    EXPECT_EQ("mpeg2video mp2 ", j.streams) << result.output;
    EXPECT_EQ("", j.errors);
    EXPECT_TRUE(j.dtsRising);
    EXPECT_LT(j.seekMiss, 1.0);
    EXPECT_NEAR(0.5, j.start, 0.1);
}

TEST_F(ExportRealClient, MaterialOfEveryKindPlaysAsMade) {
    struct Kind {
        const char* rate;
        bool packets;
    };
    for (const Kind kind : {Kind{"25", false}, Kind{"30000/1001", false}, Kind{"25", true}, Kind{"30000/1001", true}}) {
        const std::string what = std::string(kind.rate) + (kind.packets ? " PES" : " ES");
        const Material m = make(temp, kind.rate, kind.packets);
        const ToolResult result = exportFile(records(m));
        ASSERT_EQ(0, result.status) << what << result.output;
        const Judgement j = judge(temp.file("film.mpg"));
        expectPlayable(j, result);
        EXPECT_EQ(m.videoFrames, j.videoFrames) << what;
        EXPECT_EQ(m.audioFrames, j.audioFrames) << what;
        EXPECT_NEAR(m.duration, j.duration, kind.rate[0] == '2' ? 0.04 : 0.034) << what;
        if (kind.packets) {
            // One shift for both streams: the stamps as recorded.
            ASSERT_EQ(m.audioPts.size(), j.audioPts.size()) << what;
            ASSERT_FALSE(j.videoPts.empty());
            const double shift = j.audioPts[0] - m.audioPts[0];
            for (std::size_t k = 0; k < m.audioPts.size(); ++k) EXPECT_NEAR(m.audioPts[k] + shift, j.audioPts[k], 2e-5) << what;
            for (std::size_t k = 0; k < m.videoPts.size() && k < j.videoPts.size(); ++k)
                EXPECT_NEAR(m.videoPts[k] + shift, j.videoPts[k], 2e-5) << what << k;
        }
    }
    const Material m = make(temp, "25", true);
    ASSERT_EQ(0, exportFile(records(m), "audio").status);
    EXPECT_EQ(std::to_string(m.audioFrames) + "\n",
              capture("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " + temp.file("film.mp2")));
}

TEST_F(ExportRealClient, DamageCostsTheFramesItCutsAndPlaysOn) {
    const Material m = make(temp, "25", false);
    struct Damage {
        const char* what;
        int status;
    };
    for (const Damage damage : {Damage{"damaged record", 0}, Damage{"bad sector", 1}, Damage{"cut stream", 0}}) {
        const std::string kind = damage.what;
        RecordStream stream = records(m, 10, kind == "damaged record" ? std::string(100, '\xEE') : "");
        ToolResult result;
        std::string file = temp.file("film.mpg");
        if (kind == "bad sector") {
            RecorderLayout layout(13);
            layout.addChain({6, 7});
            layout.putSlot(3, "Kratzer", 6, 0, static_cast<std::uint32_t>(stream.size()));
            InMemoryRecorder recorder(13, layout);
            RecordStream::copyOverChain(recorder.drive(), {6, 7}, stream.bytes());
            recorder.fake.unreadableSectors[0] = {6 * 2048 + 180};
            CurrentFolder here(temp.path());
            result = recorder.run({"movie", "export", "3"});
            file = temp.file("Velmoran_3.mpg");
        } else if (kind == "cut stream") {
            const std::uint64_t size = stream.size();
            RecordStream cut;
            cut.addBytes(stream.bytes().substr(0, stream.size() / 2 + 3000));
            result = exportFile(cut, "movie", size);
        } else {
            result = exportFile(stream);
        }
        EXPECT_EQ(damage.status, result.status) << kind << result.output;
        unsigned long dropped[2] = {0, 0};
        const std::size_t line = result.output.find(" Videobilder und ");
        ASSERT_NE(std::string::npos, line) << kind << result.output;
        std::sscanf(result.output.c_str() + result.output.rfind('\n', line) + 1, "%lu Videobilder und %lu", &dropped[0], &dropped[1]);
        EXPECT_GT(dropped[0] + dropped[1], 0u) << kind;
        const Judgement j = judge(file);
        expectPlayable(j, result);
        EXPECT_LT(j.videoFrames, m.videoFrames) << kind;
        EXPECT_GT(j.videoFrames, kind == "cut stream" ? m.videoFrames / 3 : m.videoFrames * 2 / 3) << kind;
    }
}

TEST_F(ExportRealClient, BadInputIsAnsweredWithTheBestFileOrAMessage) {
    Material good = make(temp, "25", true);
    Material random = good;
    random.video = random.audio = std::string(64 * 1024, '\0');
    for (std::size_t k = 0; k < random.video.size(); ++k) random.video[k] = random.audio[k] = char(k * 7919 % 251 + 1);
    Material headless = make(temp, "25", false);
    for (std::size_t at; (at = headless.video.find(std::string("\0\0\1\xB3", 4))) != std::string::npos;)
        headless.video[at + 3] = '\xB2';
    Material jumps = good;
    shiftStamps(jumps.video, jumps.videoPts.size() / 2, 3 * 3600 * 90000ll);
    shiftStamps(jumps.audio, 30, 3 * 3600 * 90000ll);
    Material backwards = good;
    shiftStamps(backwards.video, backwards.videoPts.size() / 2, -20 * 90000);
    shiftStamps(backwards.audio, 30, -20 * 90000);
    Material noLength = good;  // its 31st sound packet has a length field of 0
    std::size_t at = 0;
    for (int k = 0; k < 30; ++k) at += 6 + (std::uint8_t(noLength.audio[at + 4]) << 8 | std::uint8_t(noLength.audio[at + 5]));
    noLength.audio[at + 4] = noLength.audio[at + 5] = 0;
    const std::string rate44 = TempDir::readAll((make(temp, "25", false, 44100), temp.file("m.mp2")));
    Material changing = make(temp, "25", false);
    changing.audio += rate44;
    struct Input {
        const char* what;
        const Material& material;
        int status;
        const char* message;
    };
    const Input inputs[] = {{"random payload", random, 1, "keine abspielbaren MPEG-Daten"},
                            {"no sequence header", headless, 1, "keinen gueltigen Sequenzkopf"},
                            {"jump by hours", jumps, 0, nullptr},
                            {"timestamps backwards", backwards, 0, nullptr},
                            {"changing sample rate", changing, 0, "Audioframes wegen fehlerhafter Daten"},
                            {"sound packet of no length", noLength, 0, nullptr}};
    for (const Input& input : inputs) {
        const ToolResult result = exportFile(records(input.material));
        EXPECT_EQ(input.status, result.status) << input.what << result.output;
        if (input.message) {
            EXPECT_NE(std::string::npos, result.output.find(input.message)) << input.what << result.output;
        }
        if (input.status != 0) continue;
        const Judgement j = judge(temp.file("film.mpg"));
        expectPlayable(j, result);
        EXPECT_EQ(good.videoFrames, j.videoFrames) << input.what;
        EXPECT_NEAR(good.duration, j.duration, 0.1) << input.what;
        EXPECT_GE(j.audioFrames, good.audioFrames - 6) << input.what;  // a damaged packet costs its own frames
    }
}
}  // namespace
#else
TEST(ExportRealClient, MaterialOfEveryKindPlaysAsMade) { GTEST_SKIP() << "ffmpeg and ffprobe are run through the POSIX shell"; }
#endif
