// recover on disks that the tool's own loads, deletes and formats made: every recording that no
// slot reaches and whose clusters were not written over comes back byte for byte up to its last
// record, anything else it finds is a piece of a recording that was deleted, the disk stays as
// it was, and each backup file written loads and rips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "recover/RecordPhase.h"
#include "support/CurrentFolder.h"
#include "support/DiskCheck.h"
#include "support/InMemoryRecorder.h"
#include "support/RecordStream.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
constexpr std::int32_t driveClusters = 24;
using Drive = std::vector<std::uint8_t>;

struct Recorded {
    std::string data;  // what its backup file held behind the entry
    std::uint32_t startOffset;
    std::vector<std::int32_t> clusters;
    bool gone = false;         // no slot reaches it any more
    bool writtenOver = false;  // a later load or a format took one of its clusters
};

// A disk and what the commands run on it put there; every command a run of its own.
class Scene {
public:
    Drive drive = InMemoryRecorder(driveClusters, RecorderLayout(driveClusters)).drive();
    std::vector<Recorded> recorded;
    std::set<std::uint64_t> badSectors;
    std::vector<std::string> calls;  // the platform calls of the last run

    ToolResult run(const std::vector<std::string>& words, Drive* onDrive = nullptr) {
        static const RecorderLayout formatted(driveClusters);
        InMemoryRecorder recorder(driveClusters, formatted);
        recorder.drive() = onDrive ? *onDrive : drive;
        recorder.fake.unreadableSectors[0] = badSectors;
        const ToolResult result = recorder.run(words);
        calls = recorder.fake.calls;
        (onDrive ? *onDrive : drive) = std::move(recorder.drive());
        return result;
    }
    void load(const std::string& data, std::uint32_t startOffset = 0) {
        RecordStream::writeBackupFile("in.vlm", "Aufnahme", startOffset, data.size(), data);
        ASSERT_EQ(0, run({"movie", "load", "in.vlm"}).status);
        const DiskCheck check(drive);
        for (const auto& slotChain : check.chains())
            if (slots.emplace(slotChain.first, recorded.size()).second) recorded.push_back({data, startOffset, slotChain.second});
        for (Recorded& earlier : recorded)
            for (const std::int32_t cluster : recorded.back().clusters)
                if (earlier.gone && std::count(earlier.clusters.begin(), earlier.clusters.end(), cluster) > 0)
                    earlier.writtenOver = true;
    }
    void erase(std::size_t index) {
        for (auto slot = slots.begin(); slot != slots.end(); ++slot)
            if (slot->second == index) {
                ASSERT_EQ(0, run({"movie", "delete", std::to_string(slot->first)}).status);
                slots.erase(slot);
                break;
            }
        recorded[index].gone = true;
    }
    void allGone(bool writtenOver) {
        for (Recorded& recording : recorded) {
            recording.gone = true;
            recording.writtenOver = recording.writtenOver || writtenOver;
        }
        slots.clear();
    }

private:
    std::map<std::int32_t, std::size_t> slots;
};

// A stream of `count` records of all kinds whose payloads no other recording's share.
std::string records(unsigned recording, unsigned count) {
    static const std::uint32_t ids[] = {1, 2, 3, 2, 1, 4, 2, 10};
    RecordStream stream;
    for (unsigned k = 0; k < count; ++k) stream.add(ids[k % 8], RecordStream::payload(recording * 7 + k));
    return stream.bytes();
}

std::string recovered(std::size_t number) { return "Velmoran_recovered_" + std::to_string(number) + ".vlm"; }

std::uint32_t word(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = value << 8 | static_cast<unsigned char>(bytes[at + std::size_t(k)]);
    return value;
}

// Whether the backup file holds the recording's stream from its start position to its end,
// its clusters `shift` clusters on from the recording's; with `whole`, the recording's whole stream.
bool holds(const std::string& file, const Recorded& recording, std::int64_t shift, bool whole) {
    const std::string data = file.substr(284);
    const std::uint64_t start = word(file, 28 + 228) ? mebibyte + word(file, 28 + 228) : 0;
    const std::uint64_t size = word(file, 28 + 232) * mebibyte + word(file, 28 + 236);
    const std::int64_t from = std::int64_t(start) + shift * std::int64_t(mebibyte);
    if (size > data.size() || from < 0 || from + std::int64_t(size - start) > std::int64_t(recording.data.size()))
        return false;
    if (whole && (shift != 0 || size != recording.data.size() || word(file, 28 + 228) != recording.startOffset))
        return false;
    return data.compare(start, size - start, recording.data, std::size_t(from), size - start) == 0;
}

bool onPath(const std::string& program) { return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0; }

// Video and audio made by ffmpeg, empty without it. Material 0: a test pattern and a tone as
// elementary streams. 1 and 2: six seconds of 4 Mbit/s video with GOPs and its sound, the same
// pictures with time codes from 0 and from 20 minutes on; 3 and 4: these as the PES packets of
// a program stream, stamped from 0 and from 20 minutes on.
std::vector<std::string> mpegStreams(int material) {
    TempDir temp;
    const std::string video = temp.file("v.m2v"), audio = temp.file("a.mp2"), program = temp.file("p.mpg");
    const std::string input = "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25:duration=6 -f lavfi -i "
                              "sine=frequency=440:duration=6 -c:v mpeg2video -b:v 4M -minrate 4M -maxrate 4M -bufsize 1835k -bf 2 -g 12 ";
    const std::string later = material % 2 == 0 ? "20" : "00";
    const std::string command =
        material == 0 ? "ffmpeg -v error -y -f lavfi -i testsrc=size=352x288:rate=25 -t 3 -b:v 5M -c:v mpeg2video "
                        "-f mpeg2video '" + video + "' && ffmpeg -v error -y -f lavfi -i sine=frequency=440:duration=40 "
                        "-c:a mp2 -b:a 384k -f mp2 '" + audio + "'"
        : material < 3 ? input + "-timecode 00:" + later + ":00:00 -map 0:v -f mpeg2video '" + video +
                             "' -map 1:a -c:a mp2 -b:a 192k -f mp2 '" + audio + "'"
                       : input + "-c:a mp2 -b:a 192k -output_ts_offset " + later + ":00 -f vob '" + program + "'";
    if (!onPath("ffmpeg") || std::system(command.c_str()) != 0) return {};
    if (material < 3) return {TempDir::readAll(video), TempDir::readAll(audio)};
    std::vector<std::string> packets(2);
    const std::string bytes = TempDir::readAll(program);
    for (std::size_t i = 0; i + 14 <= bytes.size();) {
        const auto id = static_cast<std::uint8_t>(bytes[i + 3]);
        const std::size_t length = id == 0xBA ? 14 + (bytes[i + 13] & 7) : 6 + (std::uint8_t(bytes[i + 4]) << 8 | std::uint8_t(bytes[i + 5]));
        if (id == 0xE0 || id == 0xC0) packets[id == 0xC0] += bytes.substr(i, length);
        i += length;
    }
    return packets;
}

// Video and audio records of the material in turn, as long as each lasts; empty without ffmpeg.
std::string mpegRecords(unsigned count, int material = 0) {
    static std::map<int, std::vector<std::string>> made;
    if (!made.count(material)) made[material] = mpegStreams(material);
    const std::vector<std::string>& streams = made[material];
    if (streams.empty()) return std::string();
    std::size_t used[] = {0, 0};
    RecordStream stream;
    for (unsigned k = 0; k < count; ++k) {
        const unsigned kind = used[k % 2] < streams[k % 2].size() ? k % 2 : 1 - k % 2;
        std::string payload = streams[kind].substr(std::min(used[kind], streams[kind].size()), 8192);
        used[kind] += 8192;
        stream.add(kind + 1, payload.append(8192 - payload.size(), '\0'));
    }
    return stream.bytes();
}

// Two recordings of the same layout in turn, one cluster each, at the same phases: only their
// time stamps tell them apart.
void interleaved(Scene& s, int material) {
    for (unsigned r = 0; r < 6; ++r) s.load(records(30 + r, 100));  // one cluster each, 6 to 11
    for (std::size_t r : {0, 2, 4}) s.erase(r);
    s.load(mpegRecords(330, material));  // 6, 8, 10
    for (std::size_t r : {1, 3, 5}) s.erase(r);
    s.load(mpegRecords(330, material + 1));  // 7, 9, 11
    s.erase(6);
    s.erase(7);
}

struct Scenario {
    const char* name;
    std::function<void(Scene&)> make;
    int status;  // of recover save all
    const char* said;
};

const Scenario scenarios[] = {
    {"deleted, loaded into the holes, again", [](Scene& s) {
         // 2 holds only the tail of a record in its second cluster
         for (unsigned r = 0; r < 4; ++r) s.load(records(r, r == 1 ? 300 : r == 3 ? 164 : 128));
         s.erase(1);
         s.load(records(4, 400));  // into the hole of 1 and behind 3
         s.erase(0);
         s.load(records(5, 129));
         s.erase(4);
         s.erase(2);
         s.load(records(6, 128));  // over 4's first cluster
     }, 0, ""},
    {"start offset", [](Scene& s) {
         s.load(std::string(mebibyte + 3000, 'x') + records(7, 200), 3000);
         s.erase(0);
     }, 0, ""},
    {"directory zeroed", [](Scene& s) {
         for (unsigned r = 0; r < 3; ++r) s.load(records(8 + r, 150 + 90 * r));
         s.erase(1);
         s.load(records(11, 100));
         std::fill_n(s.drive.begin() + 5 * mebibyte, mebibyte, std::uint8_t{0});
         s.allGone(false);
     }, 0, ""},
    {"formatted", [](Scene& s) {
         s.load(records(12, 300));
         s.erase(0);
         ASSERT_EQ(0, s.run({"image", "format"}).status);
         s.allGone(true);
     }, 0, ""},
    {"random bytes", [](Scene& s) {
         std::mt19937 random(26);
         for (std::size_t k = 512; k < s.drive.size(); ++k) s.drive[k] = static_cast<std::uint8_t>(random());
     }, 0, ""},
    {"unreadable sectors in a deleted recording", [](Scene& s) {
         s.load(records(13, 300));
         s.erase(0);
         const std::uint64_t sector = s.recorded[0].clusters[1] * 2048 + 1000;
         s.badSectors = {sector};
         s.recorded[0].data.replace((mebibyte + 1000 * 512), 512, 512, '\0');
     }, 1, "Unlesbare Sektoren in Cluster"},
    {"an unreadable free cluster", [](Scene& s) {
         s.load(records(14, 129));  // one record in its second cluster
         s.erase(0);
         s.badSectors = {20 * 2048 + 3};
     }, 0, "1 freie Cluster nicht lesbar und nicht durchsucht: 20\n"},
    {"MPEG and records interleaved alike", [](Scene& s) {
         for (unsigned r = 0; r < 6; ++r) s.load(records(20 + r, 100));  // one cluster each, 6 to 11
         for (std::size_t r : {0, 2, 4}) s.erase(r);
         s.load(mpegRecords(370));  // 6, 8, 10
         for (std::size_t r : {1, 3, 5}) s.erase(r);
         s.load(records(26, 360));  // 7, 9, 11
         s.erase(6);
         s.erase(7);
     }, 0, ""},
    {"MPEG video with GOP time codes, two in turn", [](Scene& s) { interleaved(s, 1); }, 0, ""},
    {"MPEG video and sound in PES packets, two in turn", [](Scene& s) { interleaved(s, 3); }, 0, ""},
};
}  // namespace

TEST(RecoverCommandTest, DeletedAndLostRecordingsComeBackAndNothingElse) {
    for (const Scenario& scenario : scenarios) {
        if (std::string(scenario.name).find("MPEG") == 0 && mpegRecords(2).empty())
            GTEST_SKIP() << "ffmpeg is not on PATH (Debian package ffmpeg): no MPEG material";
        TempDir folder;
        CurrentFolder here(folder.path());
        Scene scene;
        scenario.make(scene);
        ASSERT_FALSE(testing::Test::HasFatalFailure()) << scenario.name;
        const Drive before = scene.drive;
        const ToolResult listed = scene.run({"recover"});
        const ToolResult saved = scene.run({"recover", "save", "all"});
        EXPECT_EQ(0, listed.status) << scenario.name;
        EXPECT_EQ(scenario.status, saved.status) << scenario.name << saved.output;
        EXPECT_NE(std::string::npos, saved.output.find(scenario.said)) << scenario.name << saved.output;
        EXPECT_TRUE(before == scene.drive) << scenario.name;
        EXPECT_EQ(std::string::npos, listed.output.find("geschaetzt")) << scenario.name << listed.output;
        // The clusters' starts are read with the system told so: no read-ahead of whole clusters.
        const auto scattered = std::find(scene.calls.begin(), scene.calls.end(), "AdviseReads 0 scattered 6291456");
        const auto streaming = std::find(scattered, scene.calls.end(), "AdviseReads 0 streaming");
        const std::string headRead = "ReadFile " + std::to_string(RecordPhase::headSize);
        EXPECT_TRUE(streaming != scene.calls.end()) << scenario.name;
        EXPECT_EQ(0, std::count(scene.calls.begin(), scattered, headRead)) << scenario.name;
        const bool searched = listed.output.find("Durchsuchen von 0 freien") == std::string::npos;
        EXPECT_EQ(searched, std::count(scattered, streaming, headRead) > 0) << scenario.name << listed.output;

        std::vector<std::string> files;
        while (std::ifstream(recovered(files.size() + 1)).good())
            files.push_back(TempDir::readAll(recovered(files.size() + 1)));
        EXPECT_NE(std::string::npos, listed.output.find("-- " + std::to_string(files.size()) + " Aufnahmen"))
            << scenario.name << listed.output;
        for (const Recorded& recording : scene.recorded) {
            const bool expected = recording.gone && !recording.writtenOver;
            const auto found = std::count_if(files.begin(), files.end(),
                                             [&](const std::string& file) { return holds(file, recording, 0, true); });
            EXPECT_EQ(expected ? 1 : 0, found) << scenario.name << ", recording of " << recording.clusters[0];
        }
        for (std::size_t n = 0; n < files.size(); ++n) {
            const std::string name = recovered(n + 1);
            bool piece = false;
            for (const Recorded& recording : scene.recorded)
                for (std::int64_t shift = -1; shift < driveClusters && recording.gone; ++shift)
                    piece = piece || holds(files[n], recording, shift, false);
            EXPECT_TRUE(piece) << scenario.name << ": " << name << " holds no deleted recording";
            Drive copy = before;
            EXPECT_EQ(0, scene.run({"movie", "load", name}, &copy).status) << scenario.name << name;
            EXPECT_EQ(0, scene.run({"movie", "rip", name}, &copy).status) << scenario.name << name;
        }
        if (!files.empty()) {
            EXPECT_EQ(scenario.status, scene.run({"recover", "save", std::to_string(files.size())}).status);
            EXPECT_EQ(files.back(), TempDir::readAll(recovered(files.size()))) << scenario.name;
        }
    }
}
