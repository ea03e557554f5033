// `all` in place of a recording number: every recording into files named after its title, each
// byte for byte what the command with its number writes. The titles show what a name may not hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/RecordStream.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {
namespace fs = std::filesystem;

// The files of a folder by their names in UTF-8, as the tool makes them.
std::map<std::string, std::string> filesIn(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::directory_iterator(fs::u8path(folder))) {
        std::ifstream file(item.path(), std::ios::binary);
        files[item.path().filename().u8string()].assign(std::istreambuf_iterator<char>(file), {});
    }
    return files;
}

struct Recording {
    std::string title;
    std::string nameAfterNumber;   // what the file names carry behind Velmoran_<nr>
    bool broken = false;           // its chain runs into a free cluster
    std::uint32_t claimedMiB = 0;  // the size its entry claims; 0: its four records
};

// Silent MPEG-1 layer II frames (256 kbit/s, 48 kHz: 768 bytes each), as one stream cut into
// payloads: what an export takes as sound.
std::string mpegAudioPayload(unsigned index) {
    std::string payload(RecordStream::payloadSize, '\0');
    for (std::size_t k = 0; k < payload.size(); ++k) {
        const std::size_t inFrame = (index * payload.size() + k) % 768;
        static const char header[] = "\xFF\xFD\xC4\xC0";
        if (inFrame < 4) payload[k] = header[inFrame];
    }
    return payload;
}

// Recording k in slot k on cluster 6 + k: four records of video and audio, or with `mpeg` four
// records of MPEG sound.
std::string diskWith(const TempDir& temp, const std::vector<Recording>& recordings, bool mpeg = false) {
    const std::string image = temp.makeImage(mpeg ? "mpeg.img" : "disk.img", 48u << 20, true);
    RecorderLayout layout(48);
    for (std::int32_t k = 0; k < static_cast<std::int32_t>(recordings.size()); ++k) {
        RecordStream stream;
        for (unsigned r = 0; r < 4; ++r)
            stream.add(mpeg ? 2 : 1 + r % 2, mpeg ? mpegAudioPayload(r) : RecordStream::payload(10 * k + r));
        layout.addChain({6 + k});
        if (recordings[k].broken) layout.setEntry(6 + k, 40);
        const std::uint32_t claimed = recordings[k].claimedMiB;
        layout.putSlot(k, recordings[k].title, 6 + k, claimed, claimed ? 0 : static_cast<std::uint32_t>(stream.size()));
        RecordStream::writeOverChain(image, {6 + k}, stream.bytes());
    }
    layout.writeTo(image);
    return image;
}

// The exports take recordings of MPEG sound.
const std::vector<std::vector<std::string>> allCommands = {
    {"movie", "save"}, {"movie", "rip"}, {"audio", "rip"}, {"movie", "export"}, {"audio", "export"}};
const std::vector<std::vector<std::string>> endings = {
    {".vlm"}, {"_video.pes", "_audio.pes"}, {".mpa"}, {".mpg"}, {".mp2"}};

TEST(AllRecordings, EachRecordingGetsTheSingleCommandsFilesUnderItsTitle) {
    const auto times = [](int count, const std::string& text) {
        std::string repeated;
        while (count-- > 0) repeated += text;
        return repeated;
    };
    const std::vector<Recording> named = {
        {"Tatort: Mord/Teil 2", " Tatort_ Mord_Teil 2"},
        {"Was? \"Nichts\" <3> | *", " Was_ _Nichts_ _3_ _ _"},
        {"Krimi\x07\x1B\x7F\x85" "Alarm\\", " Krimi____Alarm_"},
        {"H\xF6rspiel f\xFCr Gro\xDF und Klein...", " H\xC3\xB6rspiel f\xC3\xBCr Gro\xC3\x9F und Klein"},
        {"Nachrichten", " Nachrichten"},
        {"Nachrichten", " Nachrichten"},
        {std::string(80, '\xC4'), " " + times(80, "\xC3\x84")},
        // 422 bytes in UTF-8: cut before the character that would pass 255 bytes with "_video.pes.part".
        {std::string(211, '\xE4'), " " + times(114, "\xC3\xA4")},
        {std::string("\0x", 2), ""},
        // It reaches beyond its first cluster, so that its rip meets the break too.
        {"Kaputt", " Kaputt", true, 2},
    };
    TempDir temp;
    const std::string plainDisk = diskWith(temp, named);
    const std::string mpegDisk = diskWith(temp, named, true);
    for (std::size_t c = 0; c < allCommands.size(); ++c) {
        const std::string& disk = allCommands[c][1] == "export" ? mpegDisk : plainDisk;
        TempDir all;
        TempDir single;
        std::vector<std::string> words = allCommands[c];
        words.push_back("all");
        const ToolResult result = ToolRunner::run(words, {disk}, all.path());
        EXPECT_EQ(1, result.status) << words[1];
        EXPECT_NE(std::string::npos, result.output.find("Fertig: 9 Aufnahmen, fehlgeschlagen: 1, nicht begonnen: 0"))
            << result.output;
        std::map<std::string, std::string> expected;
        for (std::size_t k = 0; k < named.size(); ++k) {
            std::vector<std::string> one = allCommands[c];
            one.push_back(std::to_string(k));
            ToolRunner::run(one, {disk}, single.path());
            const std::string stem = "Velmoran_" + std::to_string(k);
            // A failed file keeps its temporary name.
            for (const std::string& ending : endings[c])
                expected[stem + named[k].nameAfterNumber + ending + (named[k].broken ? ".part" : "")] =
                    TempDir::readAll(single.file(stem + ending));
        }
        EXPECT_TRUE(expected == filesIn(all.path())) << words[0] << " " << words[1];
    }
}

#ifdef __linux__
// A file system of the test's own mounted on a folder for the life of the object.
class MountedFolder {
public:
    MountedFolder(const std::string& mountCommand, const std::string& folder) : folder(folder) {
        fs::create_directory(folder);
        mounted = std::system((mountCommand + " '" + folder + "' 2>/dev/null").c_str()) == 0;
    }
    ~MountedFolder() {
        if (mounted) std::system(("umount '" + folder + "'").c_str());
    }
    bool mounted = false;
    std::string folder;
};

struct MountCase {
    std::string mount;
    std::vector<Recording> recordings;
    std::vector<std::string> lines;  // each in the output
    std::vector<int> whole;          // the recordings whose backup files are done
};

// `movie save all` into a folder on the file system the case mounts.
void saveAllOnto(const MountCase& c) {
    if (geteuid() != 0) GTEST_SKIP() << "mounting a file system needs root";
    TempDir temp;
    TempDir single;
    const std::string disk = diskWith(temp, c.recordings);
    const MountedFolder target("cd '" + temp.path() + "' && " + c.mount, temp.file("target"));
    if (!target.mounted) GTEST_SKIP() << "the system cannot mount it here: " << c.mount;
    const ToolResult result = ToolRunner::run({"movie", "save", "all"}, {disk}, target.folder);
    EXPECT_EQ(1, result.status);
    for (const std::string& line : c.lines) EXPECT_NE(std::string::npos, result.output.find(line)) << result.output;
    const std::map<std::string, std::string> files = filesIn(target.folder);
    for (const int k : c.whole) {
        ToolRunner::run({"movie", "save", std::to_string(k)}, {disk}, single.path());
        const std::string stem = "Velmoran_" + std::to_string(k);
        EXPECT_TRUE(files.at(stem + c.recordings[k].nameAfterNumber + ".vlm") ==
                    TempDir::readAll(single.file(stem + ".vlm")));
    }
}

TEST(AllRecordings, AFullFileSystemStopsTheRun) {
    // Two backup files of 1 MiB and 284 bytes fit, the third does not.
    saveAllOnto({"mount -t tmpfs -o size=3m tmpfs",
                 {{"A", " A"}, {"B", " B"}, {"C", " C"}, {"D", " D"}},
                 {"Die Aufnahmen brauchen bis zu 5 MB, hier sind nur 3 MB frei; es wird trotzdem begonnen!\n",
                  "Dateisystem voll, der Lauf wird abgebrochen: Velmoran_2 C.vlm.part ist unvollstaendig!\n",
                  "Fertig: 2 Aufnahmen, fehlgeschlagen: 1, nicht begonnen: 1, geschrieben: "},
                 {0, 1}});
}

TEST(AllRecordings, AFileTooLargeForFatFailsAlone) {
    if (std::system("command -v mkfs.vfat >/dev/null") != 0)
        GTEST_SKIP() << "no mkfs.vfat here (Debian's dosfstools) to make a FAT file system";
    const std::string tooLarge = "Aufnahme 1 \"Riesig\": eine Datei von bis zu 4294967580 Bytes ist zu gross fuer "
                                 "dieses Dateisystem (hoechstens 4294967295 Bytes je Datei), die Aufnahme wird nicht "
                                 "bearbeitet!\nAufnahme 2";
    saveAllOnto({"mkfs.vfat -C fat.img 8192 >/dev/null && mount -o loop fat.img",
                 {{"A", " A"}, {"Riesig", " Riesig", false, 4096}, {"C", " C"}},
                 {"Die Aufnahmen brauchen bis zu 4099 MB, hier sind nur ", tooLarge, "\n" + tooLarge,
                  "Fertig: 2 Aufnahmen, fehlgeschlagen: 1, nicht begonnen: 0, geschrieben: 2097720 Bytes\n"},
                 {0, 2}});
}
#endif
}  // namespace
