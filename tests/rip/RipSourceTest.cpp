// The demultiplexer on records made in memory: which record goes where, the way back into
// the record sequence after damage, the start range, records cut short and the meter.
#include "rip/RipSource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "base/Console.h"
#include "base/HostFileReader.h"
#include "fs/DirEntry.h"
#include "support/RecordStream.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
const std::string damagedWord = "\xEE\xEE\xEE\xEE";
const std::string skipRecord = std::string("\x03\0\0\0", 4) + std::string(8192, '\0');

// A source that delivers a stream held in memory and notes its largest request. A viewing
// one hands out whole records where they lie, as the disk source does within a cluster.
class MemorySource : public RipSource {
public:
    MemorySource(const std::string& baseName, bool audioOnly, const DirEntry& entry, const std::string& stream,
                 bool viewing)
        : RipSource(audioOnly), entry(entry), stream(stream), viewing(viewing) {
        openOutputs(baseName);
    }

    std::uint32_t largestRequest = 0;
    std::uint64_t skipRecords = 0;  // records of id 3 in front of the stream, none of them held in memory

protected:
    bool openSource() override {
        useEntry(entry);
        return true;
    }

    std::uint32_t readStream(void* buffer, std::uint32_t count) override {
        largestRequest = std::max(largestRequest, count);
        const auto delivered = static_cast<std::uint32_t>(std::min<std::size_t>(count, stream.size() - position));
        std::memcpy(buffer, stream.data() + position, delivered);
        position += delivered;
        return delivered;
    }

    const std::uint8_t* nextRecord(std::uint8_t* spare) override {
        if (skipRecords > 0) {
            --skipRecords;
            return reinterpret_cast<const std::uint8_t*>(skipRecord.data());
        }
        if (!viewing || stream.size() - position < recordSize) return RipSource::nextRecord(spare);
        const auto* record = reinterpret_cast<const std::uint8_t*>(stream.data() + position);
        position += recordSize;
        return record;
    }

private:
    const DirEntry& entry;
    const std::string& stream;
    const bool viewing;
    std::size_t position = 0;
};

struct Rip {
    bool succeeded;
    std::string output;  // what the console printed
    std::string video;
    std::string audio;
    std::uint32_t largestRequest;
};

class RipSourceTest : public ::testing::Test {
protected:
    // Rips `stream` as a recording of `sizeBytes` bytes with the start offset.
    Rip rip(const std::string& stream, std::uint64_t sizeBytes, bool audioOnly = false, std::uint32_t startOffset = 0) {
        const std::string entryFile = temp.file("entry");
        RecordStream::writeBackupFile(entryFile, "Aufnahme", startOffset, sizeBytes, "");
        HostFileReader reader(entryFile);
        std::uint8_t header[28];
        reader.readSome(header, sizeof header);
        const DirEntry entry(reader);

        const std::string base = temp.file("rip");
        Console::instance().resetProgress();
        std::fflush(stdout);
        testing::internal::CaptureStdout();
        Rip result;
        {
            MemorySource source(base, audioOnly, entry, stream, viewing);
            source.skipRecords = skipRecords;
            result.succeeded = source.run();
            result.largestRequest = source.largestRequest;
        }
        std::fflush(stdout);
        result.output = testing::internal::GetCapturedStdout();
        result.video = TempDir::readAll(base + "_video.pes");
        result.audio = TempDir::readAll(audioOnly ? base + ".mpa" : base + "_audio.pes");
        return result;
    }

    TempDir temp;
    bool viewing = false;
    std::uint64_t skipRecords = 0;
};

TEST_F(RipSourceTest, RecordKindsGoToTheirOutputs) {
    RecordStream records;
    records.add(2, RecordStream::payload(0));  // at position 0: never examined
    records.add(1, RecordStream::payload(1));
    records.add(2, RecordStream::payload(2));
    for (std::uint32_t other : {3u, 4u, 10u}) records.add(other, RecordStream::payload(other));
    records.add(1, RecordStream::payload(6));
    records.add(2, RecordStream::payload(7));

    const Rip movie = rip(records.bytes(), records.size());
    EXPECT_TRUE(movie.succeeded);
    EXPECT_EQ(RecordStream::payload(1) + RecordStream::payload(6), movie.video);
    EXPECT_EQ(RecordStream::payload(2) + RecordStream::payload(7), movie.audio);
    EXPECT_EQ("....100\n", movie.output);

    // Audio mode: the video records are not written, and said so once.
    const Rip audio = rip(records.bytes(), records.size(), true);
    EXPECT_TRUE(audio.succeeded);
    EXPECT_EQ(RecordStream::payload(2) + RecordStream::payload(7), audio.audio);
    EXPECT_EQ(".Audioquelle enthaelt Viediodaten!...100\n", audio.output);
}

TEST_F(RipSourceTest, DamagedRecordsAreSkippedInFourByteStepsToTheNextId) {
    RecordStream records;
    records.add(3, RecordStream::payload(0));
    records.add(2, RecordStream::payload(1));
    // 16392: a damaged record whose word at offset 12 is the next record's id.
    records.addBytes(std::string("\x63\0\0\0", 4) + damagedWord + damagedWord);
    records.add(2, RecordStream::payload(2));
    // 24600: a whole damaged record, an intact one behind it.
    records.addBytes(std::string(8196, '\xEE'));
    records.add(2, RecordStream::payload(3));
    records.add(2, RecordStream::payload(4));
    // 49188: damage up to the end of the stream.
    records.addBytes(std::string(8296, '\xEE'));

    for (const bool viewed : {false, true}) {
        viewing = viewed;
        const Rip result = rip(records.bytes(), records.size());
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(RecordStream::payload(1) + RecordStream::payload(2) + RecordStream::payload(3) +
                      RecordStream::payload(4),
                  result.audio)
            << viewed;
        EXPECT_EQ("...Fehlerhafter Record mit der id 99 bei Position 16392! 12 Bytes uebersprungen.\n"
                  "..Fehlerhafter Record mit der id -286331154 bei Position 24600! 8196 Bytes uebersprungen.\n"
                  "..Fehlerhafter Record mit der id -286331154 bei Position 49188! 8296 Bytes uebersprungen.\n"
                  "100\n",
                  result.output)
            << viewed;
    }
}

TEST_F(RipSourceTest, RecordsBehindAShortRecordOrBeyond4GiBReachTheOutput) {
    // A record 4 bytes short takes in the next record's id: that record is lost, none behind it.
    RecordStream shortRecord;
    shortRecord.add(3, RecordStream::payload(0));
    shortRecord.add(2, RecordStream::payload(1));
    shortRecord.addBytes(std::string("\x03\0\0\0", 4) + RecordStream::payload(2).substr(0, 8188));
    for (unsigned k = 3; k < 6; ++k) shortRecord.add(2, RecordStream::payload(k));
    RecordStream beyond4GiB;
    beyond4GiB.add(2, RecordStream::payload(6));
    beyond4GiB.add(2, RecordStream::payload(7));
    struct Case {
        std::uint64_t skipRecords;
        const RecordStream& stream;
        std::string audio;
        std::string resynchronisation;
    };
    const Case cases[] = {
        {0, shortRecord, RecordStream::payload(1) + RecordStream::payload(4) + RecordStream::payload(5),
         " bei Position 24588! 8192 Bytes uebersprungen.\n"},
        {(1ull << 32) / 8196 + 1, beyond4GiB, RecordStream::payload(6) + RecordStream::payload(7), ""},
    };
    for (const Case& c : cases) {
        skipRecords = c.skipRecords;
        const Rip result = rip(c.stream.bytes(), c.skipRecords * 8196 + c.stream.size(), true);
        EXPECT_TRUE(result.succeeded) << c.skipRecords;
        EXPECT_EQ(c.audio, result.audio) << c.skipRecords;
        if (!c.resynchronisation.empty()) {
            EXPECT_NE(std::string::npos, result.output.find(c.resynchronisation)) << result.output;
        }
    }
}

TEST_F(RipSourceTest, ARecordCutShortIsDroppedWhole) {
    RecordStream cutAtTheEnd;
    cutAtTheEnd.add(3, RecordStream::payload(0));
    cutAtTheEnd.add(2, RecordStream::payload(1));
    cutAtTheEnd.addBytes(std::string("\x02\0\0\0", 4) + RecordStream::payload(2).substr(0, 96));
    const Rip atTheEnd = rip(cutAtTheEnd.bytes(), cutAtTheEnd.size());
    EXPECT_TRUE(atTheEnd.succeeded);
    EXPECT_EQ(RecordStream::payload(1), atTheEnd.audio);

    // The refill behind a damaged record comes up 6 bytes short.
    RecordStream cutBehindDamage;
    cutBehindDamage.add(3, RecordStream::payload(0));
    cutBehindDamage.add(2, RecordStream::payload(1));
    cutBehindDamage.addBytes(std::string("\x63\0\0\0", 4) + damagedWord + damagedWord);
    cutBehindDamage.add(2, RecordStream::payload(2));
    const std::string stream = cutBehindDamage.bytes().substr(0, cutBehindDamage.size() - 6);
    const Rip behindDamage = rip(stream, stream.size());
    EXPECT_TRUE(behindDamage.succeeded);
    EXPECT_EQ(RecordStream::payload(1), behindDamage.audio);
    EXPECT_EQ("..Fehlerhafter Record mit der id 99 bei Position 16392! 12 Bytes uebersprungen.\n100\n",
              behindDamage.output);
}

TEST_F(RipSourceTest, TheStartRangeIsSkippedWithoutOversizedRequests) {
    for (std::uint32_t startOffset : {0u, 100u, 0x180000u + 36u}) {
        const std::uint64_t start = startOffset == 0 ? 0 : mebibyte + startOffset;
        RecordStream records;
        // Filler that would reach the output if it were read as records.
        RecordStream filler;
        while (filler.size() < start) filler.add(2, RecordStream::payload(9));
        records.addBytes(filler.bytes().substr(0, start));
        if (startOffset == 0) records.add(2, RecordStream::payload(9));
        records.add(2, RecordStream::payload(1));
        records.add(2, RecordStream::payload(2));

        const Rip result = rip(records.bytes(), records.size(), true, startOffset);
        EXPECT_TRUE(result.succeeded) << startOffset;
        EXPECT_EQ(RecordStream::payload(1) + RecordStream::payload(2), result.audio) << startOffset;
        EXPECT_LE(result.largestRequest, mebibyte) << startOffset;
    }
    // A stream that ends inside the start range fails the rip.
    const std::string short_(mebibyte + 50, '\x02');
    EXPECT_FALSE(rip(short_, short_.size(), true, 100).succeeded);
}

TEST_F(RipSourceTest, ShortRecordingsWriteNothing) {
    RecordStream records;
    records.add(2, RecordStream::payload(0));
    records.add(2, RecordStream::payload(1));
    // Size 0: no record is handled; below 8196: only the record at position 0, which is not
    // written, under a meter whose total is 0.
    for (std::uint64_t size : {0u, 100u, 8195u}) {
        const Rip result = rip(records.bytes(), size);
        EXPECT_TRUE(result.succeeded) << size;
        EXPECT_EQ("", result.video) << size;
        EXPECT_EQ("", result.audio) << size;
        EXPECT_EQ("", result.output) << size;
    }
}

TEST_F(RipSourceTest, TheMeterStepsOncePerHandledRecord) {
    RecordStream records;
    for (unsigned k = 0; k < 8; ++k) records.add(3, RecordStream::payload(k));
    // 7 records make the meter's total; a size 1 byte beyond takes in the eighth record and
    // one step beyond the total.
    EXPECT_EQ("......100\n", rip(records.bytes(), 7 * 8196).output);
    EXPECT_EQ(".......100\n", rip(records.bytes(), 7 * 8196 + 1).output);

    RecordStream thousand;
    for (unsigned k = 0; k < 1000; ++k) thousand.add(4, RecordStream::payload(k));
    EXPECT_EQ(".........10.........20.........30.........40.........50\n"
              ".........60.........70.........80.........90.........100\n",
              rip(thousand.bytes(), thousand.size()).output);
}
}  // namespace
