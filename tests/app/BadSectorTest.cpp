// Commands on a disk with unreadable sectors: they write what they write from the same disk with
// zeros there, ask no sector more than three times, and their maps name exactly those sectors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/CurrentFolder.h"
#include "support/InMemoryRecorder.h"
#include "support/RecordStream.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
constexpr std::uint64_t sector = 512;
const std::vector<std::int32_t> chain = {8, 6, 10};

// Records over the chain, other bytes from cluster 6 on non-zero; a quarter of a 13th MiB.
void makeDisk(InMemoryRecorder& recorder) {
    static const std::string filler = RecordStream::payload(7) + std::string(mebibyte - 8192, 'f');
    std::vector<std::uint8_t>& drive = recorder.drive();
    for (std::uint64_t c = 6; c < 13; ++c) std::copy(filler.begin(), filler.end(), drive.begin() + c * mebibyte);
    RecordStream records;
    for (unsigned k = 0; k < 380; ++k) records.add(k % 3 == 0 ? 1 : 2, RecordStream::payload(k));
    RecordStream::copyOverChain(drive, chain, records.bytes());
    drive.resize(12 * mebibyte + mebibyte / 4);
}

RecorderLayout layout(const std::vector<std::int32_t>& clusters = chain, std::int32_t tableClusters = 12,
                      std::uint32_t sizeMiB = 2) {
    RecorderLayout layout(tableClusters);
    layout.addChain(clusters);
    layout.putSlot(3, "Kratzer", clusters.front(), sizeMiB, 1000000);
    return layout;
}

// The byte positions of the sectors a map marks '-'; its blocks must cover the copy.
std::set<std::uint64_t> unreadableIn(const std::string& map, std::uint64_t copySize) {
    std::set<std::uint64_t> positions;
    std::istringstream lines(map);
    std::string line, position, size, status;
    while (std::getline(lines, line) && line[0] == '#') continue;
    EXPECT_EQ("0x00000000     +               1", line);
    std::getline(lines, line);  // the blocks' heading
    std::uint64_t covered = 0;
    while (lines >> position >> size >> status) {
        EXPECT_EQ(covered, std::stoull(position, nullptr, 16)) << position;
        covered += std::stoull(size, nullptr, 16);
        for (std::uint64_t at = std::stoull(position, nullptr, 16); status == "-" && at < covered; at += sector)
            positions.insert(at);
    }
    EXPECT_EQ(copySize, covered);
    return positions;
}

// What an image save says of these sectors: each span of adjacent ones, the first ten of them,
// how many more there are, and the number of sectors.
std::string imageSaveReport(const std::set<std::uint64_t>& sectors) {
    std::string said;
    std::size_t spans = 0;
    for (auto first = sectors.begin(); first != sectors.end(); ++spans) {
        auto end = first;
        std::uint64_t count = 0;
        while (end != sectors.end() && *end == *first + count) ++end, ++count;
        if (spans < 10)
            said += std::to_string(count) + " Sektor(en) ab Byte " + std::to_string(*first * sector) +
                    " nicht lesbar, im Image mit Nullen gefuellt!\n";
        first = end;
    }
    if (spans > 10) said += "... und " + std::to_string(spans - 10) + " weitere Bereiche\n";
    return said + std::to_string(sectors.size()) +
           " Sektor(en) der Festplatte nicht lesbar, ihre Liste steht in Velmoran.img.map!\n";
}

TEST(BadSectorTest, CommandsWriteWhatTheyReadWithZerosForUnreadableSectors) {
    struct Command {
        std::vector<std::string> words;
        std::vector<std::string> files;
    };
    const Command commands[] = {{{"image", "save"}, {"Velmoran.img"}},
                                {{"movie", "save", "3"}, {"Velmoran_3.vlm"}},
                                {{"movie", "rip", "3"}, {"Velmoran_3_video.pes", "Velmoran_3_audio.pes"}},
                                {{"audio", "rip", "3"}, {"Velmoran_3.mpa"}}};
    struct Placement {
        const char* where;
        std::set<std::uint64_t> sectors;
        bool inChain;
    };
    const Placement placements[] = {
        {"inside the chain", {6 * 2048 + 1000}, true},
        {"at a cluster's first sector", {10 * 2048}, true},
        {"at a cluster's last sector", {9 * 2048 - 1}, true},
        {"outside every chain", {9 * 2048 + 5}, false},
        {"in the partial last MiB", {12 * 2048 + 3}, false},
        {"adjacent, one piece and the chain's start", {6 * 2048 + 10, 6 * 2048 + 11, 6 * 2048 + 40, 8 * 2048}, true},
        {"eleven, one readable sector between each two",
         {7 * 2048 + 100, 7 * 2048 + 102, 7 * 2048 + 104, 7 * 2048 + 106, 7 * 2048 + 108, 7 * 2048 + 110,
          7 * 2048 + 112, 7 * 2048 + 114, 7 * 2048 + 116, 7 * 2048 + 118, 7 * 2048 + 120},
         false},
    };
    for (const Command& command : commands) {
        for (const Placement& placement : placements) {
            TempDir zeroed;
            InMemoryRecorder clean(13, layout());
            makeDisk(clean);
            for (const std::uint64_t s : placement.sectors)
                std::fill_n(clean.drive().begin() + std::ptrdiff_t(s * sector), sector, std::uint8_t{0});
            {
                CurrentFolder here(zeroed.path());
                ASSERT_EQ(0, clean.run(command.words).status) << command.words[1] << placement.where;
            }
            for (const bool endReads : {false, true}) {
                const std::string what = command.words[0] + " " + command.words[1] + ", bad sectors " +
                                         placement.where + (endReads ? ", reads ending before them: " : ": ");
                TempDir damaged;
                InMemoryRecorder recorder(13, layout());
                makeDisk(recorder);
                recorder.fake.unreadableSectors[0] = placement.sectors;
                recorder.fake.badSectorsEndReads = endReads;
                CurrentFolder here(damaged.path());
                const ToolResult result = recorder.run(command.words);

                const bool imageSave = command.words[0] == "image";
                EXPECT_EQ(imageSave || placement.inChain ? 1 : 0, result.status) << what << result.output;
                if (imageSave) {
                    EXPECT_EQ(imageSaveReport(placement.sectors), result.output) << what;
                }
                for (const std::string& file : command.files)
                    EXPECT_TRUE(TempDir::readAll(zeroed.file(file)) == TempDir::readAll(file)) << what << file;
                for (const auto& failures : recorder.fake.failedReadsOf) EXPECT_GE(3, failures.second) << what;
                if (imageSave || (command.words[1] == "save" && placement.inChain)) {
                    std::set<std::uint64_t> expected;
                    for (const std::uint64_t s : placement.sectors) {
                        const std::uint64_t onDisk = s * sector;
                        const auto index = std::find(chain.begin(), chain.end(), onDisk / mebibyte) - chain.begin();
                        expected.insert(imageSave ? onDisk : 284 + index * mebibyte + onDisk % mebibyte);
                    }
                    const std::string copy = command.files[0];
                    EXPECT_EQ(expected, unreadableIn(TempDir::readAll(copy + ".map"), TempDir::readAll(copy).size()))
                        << what;
                }
            }
        }
    }
}

TEST(BadSectorTest, AClusterBeyondTheDrivesEndFailsTheSaveAsItAlwaysDid) {
    for (const std::int32_t beyond : {12, 13}) {  // partly, wholly
        TempDir temp;
        CurrentFolder here(temp.path());
        InMemoryRecorder recorder(13, layout({8, beyond}, 14, 99));
        recorder.drive().resize(12 * mebibyte + mebibyte / 4);
        const ToolResult result = recorder.run({"movie", "save", "3"});
        EXPECT_EQ("Schreiben des Films \"Kratzer\" in die Sicherungsdatei Velmoran_3.vlm\nCluster " +
                      std::to_string(beyond) + " konnte nicht vollstaendig gelesen werden, die Sicherungsdatei "
                      "Velmoran_3.vlm ist unvollstaendig!\n",
                  result.output);
        EXPECT_EQ(1, result.status);
    }
}

TEST(BadSectorTest, DdrescuelogListsTheSectorsOfTheImageMap) {
#ifdef _WIN32
    GTEST_SKIP() << "ddrescuelog (GNU ddrescue) is run on POSIX systems only";
#else
    if (std::system("ddrescuelog --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "ddrescuelog (GNU ddrescue) is not installed";
    TempDir temp;
    CurrentFolder here(temp.path());
    InMemoryRecorder recorder(13, layout());
    makeDisk(recorder);
    recorder.fake.unreadableSectors[0] = {7, 6 * 2048 + 1, 6 * 2048 + 2, 9 * 2048, 12 * 2048 + 511};
    ASSERT_EQ(1, recorder.run({"image", "save"}).status);
    ASSERT_EQ(0, std::system("ddrescuelog -l- Velmoran.img.map > listed"));
    EXPECT_EQ("7\n12289\n12290\n18432\n25087\n", TempDir::readAll("listed"));
#endif
}
}  // namespace
