// Whole commands of the built tool against dd copying the same bytes, on image files full of
// real (non-zero, non-sparse) data in a temporary folder: several runs of each, medians, the
// ratio tool/baseline and the peak resident memory of the tool. Run through bench/run.
// Usage: velmoran_command_bench <VelmoranDisk> [runs, default 5] [disk MiB, default 1024]
//                               [recording MiB, default 256] [bad-sectors: only the image saves
//                               of a clean disk and of one with 100 unreadable sectors | recover:
//                               only recover | export: only the rips and exports | disk-speed:
//                               only the exports from a disk read at a hard disk's speed]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "disk/PosixPlatform.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/Directory.h"
#include "maint/DiskMaintenance.h"
#include "support/LoopDevice.h"
#include "support/RecorderLayout.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint32_t mebibyte = 1u << 20;
constexpr std::uint32_t recordSize = 8196;

struct Run {
    double seconds = 0;
    double processorSeconds = 0;  // user and system
    long peakKiB = 0;
    int status = -1;
};

// Runs a program with its output thrown away, in `folder`, with VELMORAN_DRIVES set to `drives`.
Run runProgram(const std::vector<std::string>& words, const std::string& folder, const std::string& drives) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (chdir(folder.c_str()) != 0) _exit(126);
        setenv("VELMORAN_DRIVES", drives.c_str(), 1);
        std::vector<std::string> copies(words);
        std::vector<char*> argv;
        for (std::string& word : copies) argv.push_back(&word[0]);
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peakKiB = usage.ru_maxrss;
    run.processorSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Pseudo-random bytes, never a run of zeros: written out, the file has every block allocated.
void fillWithData(const std::string& path, std::uint32_t mebibytes, std::uint64_t seed) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::vector<std::uint64_t> block(mebibyte / 8);
    for (std::uint32_t m = 0; m < mebibytes; ++m) {
        for (std::uint64_t& word : block) {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            word = seed | 0x0101010101010101ull;
        }
        std::fwrite(block.data(), 1, mebibyte, file);
    }
    std::fclose(file);
}

// What a recording of the benchmark holds: the sizes of its I, P and B pictures, its sound
// frames (their header's third byte and their length: MPEG-1 Layer II at 48 kHz), and the order
// of its record kinds, repeated (1 video, 2 audio, 3 other), in the proportion of the streams'
// rates.
struct RecordingProfile {
    const char* name;
    std::size_t pictureBytes[3];
    std::uint8_t audioRateByte;
    std::size_t audioFrameBytes;
    std::vector<std::uint8_t> kinds;
};

// Small pictures (3840 bytes, 0.8 Mbit/s) and loud sound (384 kbit/s, a third of the records):
// many units per MiB, the export's hardest case.
const RecordingProfile smallPictures{
    "small pictures", {3840, 3840, 3840}, 0xE4, 1152, {1, 1, 1, 1, 1, 1, 2, 2, 2, 3}};
// As a recorder writes a broadcast: pictures of 60, 30 and 15 KB (about 4.5 Mbit/s) and sound of
// 224 kbit/s, a twentieth of the video.
const RecordingProfile broadcast{
    "broadcast", {60000, 30000, 15000}, 0xB4, 672, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 2, 3}};

// Payload bytes that the export parses as it does a recorder's: MPEG-1 video of 25 pictures a
// second in GOPs of 12 (I, P and B pictures) and MPEG-1 Layer II sound, sized by the profile.
// The pictures' slices and the frames' samples are pseudo-random bytes.
class MpegLikeStream {
public:
    MpegLikeStream(bool video, const RecordingProfile& profile) : video(video), profile(profile) {}

    void fill(std::uint8_t* to, std::size_t length) {
        while (length > 0) {
            if (used == unit.size()) next();
            const std::size_t piece = std::min(length, unit.size() - used);
            std::memcpy(to, unit.data() + used, piece);
            used += piece;
            to += piece;
            length -= piece;
        }
    }

private:
    void next() {
        unit.clear();
        used = 0;
        if (video) {
            static const int types[12] = {1, 2, 3, 3, 2, 3, 3, 2, 3, 3, 2, 3};
            const int type = types[count % 12];
            if (count % 12 == 0) {
                append({0, 0, 1, 0xB3, 0x2D, 0x02, 0x40, 0x23, 0xFF, 0xFF, 0xFF, 0xF8});
                append({0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40});
            }
            const unsigned reference = count % 1024;
            append({0, 0, 1, 0x00, static_cast<std::uint8_t>(reference >> 2),
                    static_cast<std::uint8_t>((reference & 3) << 6 | type << 3 | 7), 0xFF, 0xF8});
            append({0, 0, 1, 0x01});
            randomBytes(profile.pictureBytes[type - 1] - unit.size());
        } else {
            append({0xFF, 0xFD, profile.audioRateByte, 0x04});
            randomBytes(profile.audioFrameBytes - 4);
        }
        ++count;
    }
    void append(std::initializer_list<std::uint8_t> bytes) { unit.insert(unit.end(), bytes); }
    // Never a zero byte, so that no start code appears by chance.
    void randomBytes(std::size_t length) {
        for (std::size_t k = 0; k < length; ++k) {
            seed ^= seed << 13;
            seed ^= seed >> 7;
            seed ^= seed << 17;
            unit.push_back(static_cast<std::uint8_t>(seed | 1));
        }
    }

    const bool video;
    const RecordingProfile& profile;
    std::vector<std::uint8_t> unit;
    std::size_t used = 0;
    std::uint64_t count = 0;
    std::uint64_t seed = 0x2545F4914F6CDD1Dull;
};

// A disk with one recording in slot 0 on the clusters 6 to 6 + recordingMiB - 1: video, audio
// and other records mixed (ids 1, 2 and 3), every payload real data: the video and audio payloads
// MPEG-like, so that an export does all its work on them.
void makeRecorderDisk(const std::string& path, std::uint32_t diskMiB, std::uint32_t recordingMiB,
                      const RecordingProfile& profile = smallPictures) {
    fillWithData(path, diskMiB, 0x9E3779B97F4A7C15ull);
    RecorderLayout layout(static_cast<std::int32_t>(diskMiB));
    std::vector<std::int32_t> chain;
    for (std::uint32_t k = 0; k < recordingMiB; ++k) chain.push_back(static_cast<std::int32_t>(6 + k));
    layout.addChain(chain);
    layout.putSlot(0, "Benchmark", 6, recordingMiB, 0);
    std::vector<std::uint8_t> zeros(mebibyte, 0);
    TempDir::writeAt(path, 5ull * mebibyte, zeros.data(), zeros.size());  // an empty directory
    layout.writeTo(path);
    TempDir::writeAt(path, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
    const int descriptor = ::open(path.c_str(), O_WRONLY);
    const std::uint64_t start = 6ull * mebibyte;
    const std::uint64_t end = start + std::uint64_t(recordingMiB) * mebibyte;
    MpegLikeStream video(true, profile);
    MpegLikeStream audio(false, profile);
    std::vector<std::uint8_t> record(recordSize);
    std::uint32_t index = 0;
    for (std::uint64_t position = start; position + recordSize <= end; position += recordSize, ++index) {
        record[0] = profile.kinds[index % profile.kinds.size()];
        if (record[0] == 3) {
            if (pwrite(descriptor, record.data(), 4, static_cast<off_t>(position)) != 4) std::perror("pwrite");
            continue;
        }
        (record[0] == 1 ? video : audio).fill(record.data() + 4, recordSize - 4);
        RecorderDisk::swapWords(record.data() + 4, recordSize - 4, true);  // as the recorder stores it
        if (pwrite(descriptor, record.data(), recordSize, static_cast<off_t>(position)) != recordSize) std::perror("pwrite");
    }
    ::close(descriptor);
}

// A small disk whose directory has every one of its 4096 slots in use.
void makeFullDirectoryDisk(const std::string& path) {
    fillWithData(path, 16, 0x1234567ull);
    RecorderLayout layout(16);
    layout.addChain({6});
    for (std::int32_t slot = 0; slot < 4096; ++slot)
        layout.putSlot(slot, "Aufnahme " + std::to_string(slot), 6, 1, 0);
    layout.writeTo(path);
    TempDir::writeAt(path, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
}

// A sparse disk image as large as the table can describe, 1.25 TiB, of which only the table and
// the directory are written: `recordings` recordings of `clustersEach` clusters, their chains
// interleaved over the whole disk (the worst case for the walk), and the slots from
// `recordings` on free (all of them without `slots`: every chain is lost); or a smaller disk of
// `clusters` clusters.
void makeSparseRecorderDisk(const std::string& path, std::int32_t recordings, std::int32_t clustersEach,
                            bool slots = true, std::int32_t clusters = ClusterTable::maxClusterCount) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file) std::fclose(file);
    if (truncate(path.c_str(), static_cast<off_t>(std::uint64_t(clusters) * mebibyte)) != 0) std::perror("truncate");
    RecorderLayout layout(clusters);
    for (std::int32_t slot = 0; slot < recordings; ++slot) {
        std::vector<std::int32_t> chain;
        for (std::int32_t k = 0; k < clustersEach; ++k) chain.push_back(6 + slot + k * recordings);
        layout.addChain(chain);
        if (slots)
            layout.putSlot(slot, "Aufnahme " + std::to_string(slot), chain.front(),
                           static_cast<std::uint32_t>(clustersEach), 0);
    }
    layout.writeTo(path);
    TempDir::writeAt(path, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
}

// A backup file of one cluster: header, entry, 1 MiB of data.
void makeSmallBackupFile(const std::string& path) {
    std::string bytes("velmoran hd V1.02 / vlm 1.0", 28);
    std::string entry(256, '\0');
    entry.replace(0, 5, "Klein");
    entry[232] = 1;  // 1 MiB
    bytes += entry + std::string(mebibyte, '\x5A');
    TempDir::writeAll(path, bytes);
}

// The disk services of this system, counting the reads.
class CountingPlatform : public PosixPlatform {
public:
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override {
        ++reads;
        return PosixPlatform::readFile(handle, buffer, length, delivered);
    }
    int reads = 0;
};

// The same with unreadable sectors: a read that covers one fails whole and delivers nothing,
// as a failing drive's reads do on Windows.
class BadSectorPlatform : public CountingPlatform {
public:
    explicit BadSectorPlatform(std::set<std::uint64_t> sectors) : badSectors(std::move(sectors)) {}

    std::uint32_t setFilePointer(Handle handle, std::int32_t low, std::int32_t* high, std::uint32_t method) override {
        position = (std::uint64_t(std::uint32_t(high ? *high : 0)) << 32) | std::uint32_t(low);
        return PosixPlatform::setFilePointer(handle, low, high, method);
    }
    bool readFile(Handle handle, void* buffer, std::uint32_t length, std::uint32_t* delivered) override {
        const auto bad = badSectors.lower_bound(position / 512);
        if (length > 0 && bad != badSectors.end() && *bad <= (position + length - 1) / 512) {
            ++reads;
            ++failedReads;
            *delivered = 0;
            return false;
        }
        const bool done = CountingPlatform::readFile(handle, buffer, length, delivered);
        position += *delivered;
        return done;
    }
    int failedReads = 0;

private:
    std::set<std::uint64_t> badSectors;
    std::uint64_t position = 0;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct InProcessRun {
    double seconds;
    double cpu;
    int reads;
    int failedReads;
    bool saved;
};

// An image save of the disk in the folder, in this process, through the platform given.
InProcessRun saveImageThrough(BadSectorPlatform& platform, const std::string& folder) {
    std::remove((folder + "/" + DiskMaintenance::imageFileName).c_str());
    sync();
    char previous[4096];
    if (!getcwd(previous, sizeof previous) || chdir(folder.c_str()) != 0) return InProcessRun{0, 0, 0, 0, false};
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = cpuSeconds();
    RecorderDisk recorder(&platform);
    recorder.create();
    ClusterTable table(recorder);
    const bool whole = DiskMaintenance(recorder, table).saveImage();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    std::fflush(stdout);
    dup2(saved, 1);
    ::close(null);
    ::close(saved);
    if (chdir(previous) != 0) std::perror("chdir");
    return InProcessRun{seconds, cpu, platform.reads, platform.failedReads, whole};
}

// Image save of the disk clean and with `count` unreadable sectors scattered over it: read
// calls, failed reads and the medians of the runs' time and processor time (user and system).
void compareImageSaves(const std::string& disk, const std::string& folder, std::uint32_t diskMiB, int runs,
                       std::uint64_t count) {
    setenv("VELMORAN_DRIVES", disk.c_str(), 1);
    std::set<std::uint64_t> scattered;
    const std::uint64_t sectors = std::uint64_t(diskMiB) * (mebibyte / 512);
    for (std::uint64_t k = 0; k < count; ++k) scattered.insert(12288 + k * (sectors - 12288) / count + k % 7);
    std::printf("\n| %-28s | %9s | %9s | %10s | %12s |\n", "image save, in-process", "s", "cpu s", "read calls",
                "failed reads");
    std::printf("|------------------------------|-----------|-----------|------------|--------------|\n");
    for (const bool bad : {false, true}) {
        std::vector<double> times;
        std::vector<double> cpuTimes;
        InProcessRun run{};
        for (int k = 0; k < runs; ++k) {
            BadSectorPlatform platform(bad ? scattered : std::set<std::uint64_t>());
            run = saveImageThrough(platform, folder);
            times.push_back(run.seconds);
            cpuTimes.push_back(run.cpu);
        }
        const std::string name = bad ? std::to_string(count) + " bad sectors" : "clean disk";
        std::printf("| %-28s | %9.3f | %9.3f | %10d | %12d |%s\n", name.c_str(), median(times), median(cpuTimes),
                    run.reads, run.failedReads, run.saved == bad ? " (unexpected result)" : "");
    }
    std::remove((folder + "/" + DiskMaintenance::imageFileName).c_str());
}

int listReadCalls(const std::string& disk) {
    setenv("VELMORAN_DRIVES", disk.c_str(), 1);
    CountingPlatform platform;
    RecorderDisk recorder(&platform);
    ClusterTable table(recorder);
    Directory directory(recorder, table);
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    dup2(null, 1);
    directory.load();
    directory.list();
    std::fflush(stdout);
    dup2(saved, 1);
    ::close(null);
    ::close(saved);
    return platform.reads;
}

struct Measure {
    std::string name;
    std::vector<std::string> tool;      // the tool's words
    std::vector<std::string> baseline;  // the dd command line; empty: none
    // Files each side writes anew; removed before each of its runs, so that no run pays for
    // dropping what the run before it wrote.
    std::vector<std::string> toolWrites;
    std::vector<std::string> baselineWrites;
    std::function<void()> after;  // untimed, after each tool run
};

class Bench {
public:
    Bench(std::string toolPath, int runs, std::string folder, std::string drives)
        : toolPath(std::move(toolPath)), runs(runs), folder(std::move(folder)), drives(std::move(drives)) {}

    struct Medians {
        double seconds;
        double processorSeconds;
    };

    // The tool's median times.
    Medians measure(const Measure& m) {
        std::vector<double> toolTimes;
        std::vector<double> processorTimes;
        std::vector<double> baseTimes;
        long peak = 0;
        for (int run = 0; run < runs; ++run) {
            // Every other run the baseline goes first, so that neither side always follows
            // the other's writes.
            const bool baselineFirst = run % 2 == 1 && !m.baseline.empty();
            if (baselineFirst) baseTimes.push_back(timeBaseline(m));
            removeFiles(m.toolWrites);
            std::vector<std::string> words{toolPath};
            words.insert(words.end(), m.tool.begin(), m.tool.end());
            // What the run before left dirty is written out first, so that no run pays for
            // another's writes.
            sync();
            const Run tool = runProgram(words, folder, drives);
            if (tool.status != 0) std::fprintf(stderr, "%s: exit status %d\n", m.name.c_str(), tool.status);
            toolTimes.push_back(tool.seconds);
            processorTimes.push_back(tool.processorSeconds);
            peak = std::max(peak, tool.peakKiB);
            if (m.after) m.after();
            if (!baselineFirst && !m.baseline.empty()) baseTimes.push_back(timeBaseline(m));
        }
        const double toolMedian = median(toolTimes);
        if (baseTimes.empty()) {
            std::printf("| %-28s | %9.3f | %9s | %6s | %8.1f |\n", m.name.c_str(), toolMedian, "", "", peak / 1024.0);
        } else {
            const double baseMedian = median(baseTimes);
            std::printf("| %-28s | %9.3f | %9.3f | %6.2f | %8.1f |\n", m.name.c_str(), toolMedian, baseMedian,
                        toolMedian / baseMedian, peak / 1024.0);
        }
        std::fflush(stdout);
        return Medians{toolMedian, median(processorTimes)};
    }

private:
    void removeFiles(const std::vector<std::string>& names) const {
        for (const std::string& name : names) std::remove((folder + "/" + name).c_str());
    }

    double timeBaseline(const Measure& m) {
        removeFiles(m.baselineWrites);
        sync();
        return runProgram(m.baseline, folder, drives).seconds;
    }

    std::string toolPath;
    int runs;
    std::string folder;
    std::string drives;
};

// The check of the largest table with a full directory, and a load with the walk of 4095
// chains that it makes first, against a load onto a disk with one recording.
void measureCheckAndLoad(const std::string& tool, int runs, const std::string& folder) {
    constexpr std::int32_t clustersEach = 319;
    const std::string full = folder + "/full.img";
    const std::string nearlyFull = folder + "/nearly-full.img";
    const std::string single = folder + "/single.img";
    makeSparseRecorderDisk(full, 4096, clustersEach);
    makeSparseRecorderDisk(nearlyFull, 4095, clustersEach);
    makeSparseRecorderDisk(single, 1, clustersEach);
    makeSmallBackupFile(folder + "/klein.vlm");
    Bench(tool, runs, folder, full).measure({"check (1.25 TiB, 4096 rec.)", {"check"}, {}, {}, {}, nullptr});
    Bench(tool, runs, folder, nearlyFull)
        .measure({"load 1 MiB (4095 rec.)", {"movie", "load", "klein.vlm"}, {}, {}, {},
                  [&] { runProgram({tool, "movie", "delete", "4095"}, folder, nearlyFull); }});
    Bench(tool, runs, folder, single)
        .measure({"load 1 MiB (1 rec.)", {"movie", "load", "klein.vlm"}, {}, {}, {},
                  [&] { runProgram({tool, "movie", "delete", "1"}, folder, single); }});
    for (const std::string& image : {full, nearlyFull, single}) std::remove(image.c_str());
}

std::vector<std::string> dd(const std::string& from, const std::string& to, const std::string& extra = "") {
    std::vector<std::string> words{"dd", "if=" + from, "of=" + to, "bs=1M", "status=none"};
    std::size_t start = 0;
    while (start < extra.size()) {
        const std::size_t end = extra.find(' ', start);
        words.push_back(extra.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return words;
}

// A disk of real data with ten deleted recordings of `clustersEach` clusters, one after the other
// in ascending clusters, each skipping every 16th cluster, which a recording still in the
// directory holds: their clusters free again, their records (video and audio, real data) still
// there, each ending inside its last cluster.
void makeDiskWithDeletedRecordings(const std::string& path, std::uint32_t diskMiB, std::int32_t clustersEach) {
    fillWithData(path, diskMiB, 0xC2B2AE3D27D4EB4Full);
    RecorderLayout layout(static_cast<std::int32_t>(diskMiB));
    std::vector<std::int32_t> kept;
    const int descriptor = ::open(path.c_str(), O_WRONLY);
    std::int32_t cluster = 6;
    for (int recording = 0; recording < 10; ++recording) {
        std::vector<std::int32_t> chain;
        for (; std::int32_t(chain.size()) < clustersEach; ++cluster) (cluster % 16 == 5 ? kept : chain).push_back(cluster);
        const std::uint64_t records = (std::uint64_t(clustersEach) * mebibyte - 10000) / recordSize;
        for (std::uint64_t k = 0; k < records; ++k) {
            const std::uint8_t id[4] = {std::uint8_t(k % 3 == 2 ? 2 : 1), 0, 0, 0};
            for (std::uint64_t byte = 0; byte < 4; ++byte) {
                const std::uint64_t at = k * recordSize + byte;
                const auto onDisk = static_cast<off_t>(std::uint64_t(chain[at / mebibyte]) * mebibyte + at % mebibyte);
                if (pwrite(descriptor, id + byte, 1, onDisk) != 1) std::perror("pwrite");
            }
        }
    }
    ::close(descriptor);
    layout.addChain(kept);
    layout.putSlot(0, "Bleibt", kept.front(), static_cast<std::uint32_t>(kept.size()), 0);
    std::vector<std::uint8_t> zeros(mebibyte, 0);
    TempDir::writeAt(path, 5ull * mebibyte, zeros.data(), zeros.size());
    layout.writeTo(path);
    TempDir::writeAt(path, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
}

// The baseline of recover's search on a disk whose data clusters are all free and hold no
// records: the start of every data cluster (33 sectors, all the search reads of it), read once
// with plain preads.
int readHeads(const char* path) {
    const int descriptor = ::open(path, O_RDONLY);
    if (descriptor < 0) return 1;
    const off_t end = lseek(descriptor, 0, SEEK_END);
    std::vector<char> head(16896);
    for (off_t cluster = 6 * off_t{mebibyte}; cluster + off_t{mebibyte} <= end; cluster += mebibyte)
        if (pread(descriptor, head.data(), head.size(), cluster) != ssize_t(head.size())) return 1;
    ::close(descriptor);
    return 0;
}

// recover on the sparse 1.25 TiB disk with every cluster free (every cluster's start is read)
// and with the check's 4096 chains but an empty directory (4096 lost chains), and on a disk of
// real data with ten deleted recordings: the list, and the backup files of all ten against dd
// copying as many MiB.
void measureRecover(const std::string& tool, const std::string& bench, int runs, const std::string& folder,
                    std::uint32_t diskMiB) {
    const std::string allFree = folder + "/all-free.img";
    const std::string lostChains = folder + "/lost-chains.img";
    const std::string deleted = folder + "/deleted.img";
    makeSparseRecorderDisk(allFree, 0, 0);
    makeSparseRecorderDisk(lostChains, 4096, 319, false);
    const std::string allFreeSmall = folder + "/all-free-160.img";
    makeSparseRecorderDisk(allFreeSmall, 0, 0, true, 160 * 1024);
    const auto clustersEach = static_cast<std::int32_t>(diskMiB / 20);
    makeDiskWithDeletedRecordings(deleted, diskMiB, clustersEach);
    Bench(tool, runs, folder, allFreeSmall)
        .measure({"recover (160 GiB, all free)", {"recover"}, {bench, "--read-heads", allFreeSmall}, {}, {}, nullptr});
    Bench(tool, runs, folder, allFree)
        .measure({"recover (1.25 TiB, all free)", {"recover"}, {bench, "--read-heads", allFree}, {}, {}, nullptr});
    Bench(tool, runs, folder, lostChains).measure({"recover (1.25 TiB, 4096 lost)", {"recover"}, {}, {}, {}, nullptr});
    Bench(tool, runs, folder, deleted).measure({"recover (10 deleted)", {"recover"}, {}, {}, {}, nullptr});
    std::vector<std::string> written;
    for (int k = 1; k <= 10; ++k) written.push_back("Velmoran_recovered_" + std::to_string(k) + ".vlm");
    const std::string count = "skip=6 count=" + std::to_string(10 * clustersEach);
    Bench(tool, runs, folder, deleted)
        .measure({"recover save all (10 deleted)", {"recover", "save", "all"}, dd(deleted, "copy.bin", count), written,
                  {"copy.bin"}, nullptr});
    for (const std::string& image : {allFree, allFreeSmall, lostChains, deleted}) std::remove(image.c_str());
    for (const std::string& file : written) std::remove((folder + "/" + file).c_str());
}
void printTableHead(int runs, std::uint32_t diskMiB, std::uint32_t recordingMiB) {
    std::printf("%d runs each; disk %u MiB, recording %u MiB\n\n", runs, diskMiB, recordingMiB);
    std::printf("| %-28s | %9s | %9s | %6s | %8s |\n", "operation", "tool s", "dd s", "ratio", "peak MiB");
    std::printf("|------------------------------|-----------|-----------|--------|----------|\n");
}

// The files of the rips of recording 0, and its bytes for dd: on the disk and in its backup file.
const std::vector<std::string> movieRipOutputs{"Velmoran_0_video.pes", "Velmoran_0_audio.pes"};
const std::vector<std::string> audioRipOutputs{"Velmoran_0.mpa"};

std::string recordingRange(std::uint32_t recordingMiB) { return "skip=6 count=" + std::to_string(recordingMiB); }

std::string backupRange(std::uint32_t recordingMiB) {
    return "skip=284 iflag=skip_bytes count=" + std::to_string(recordingMiB);
}

// Each export right behind the rip it reads like, both against the same dd, from the disk and
// from the recording's backup file (Velmoran_0.vlm in the folder): the ratios export/rip of
// their medians, of the wall time and of the processor time.
void measureExports(Bench& bench, const std::string& disk, std::uint32_t recordingMiB, const char* material) {
    struct Pair {
        const char* name;
        const char* mode;
        const char* word;
        std::vector<std::string> ripOutputs;
        const char* exported;
    };
    const Pair pairs[] = {{"movie (disk)", "movie", "0", movieRipOutputs, "Velmoran_0.mpg"},
                          {"audio (disk)", "audio", "0", audioRipOutputs, "Velmoran_0.mp2"},
                          {"movie (backup file)", "movie", "Velmoran_0.vlm", movieRipOutputs, "Velmoran_0.mpg"},
                          {"audio (backup file)", "audio", "Velmoran_0.vlm", audioRipOutputs, "Velmoran_0.mp2"}};
    const std::vector<std::string> copy{"copy.bin"};
    std::vector<std::string> ratios;
    for (const Pair& pair : pairs) {
        const bool fromDisk = std::strcmp(pair.word, "0") == 0;
        const std::vector<std::string> baseline =
            fromDisk ? dd(disk, "copy.bin", recordingRange(recordingMiB)) : dd("Velmoran_0.vlm", "copy.bin", backupRange(recordingMiB));
        const Bench::Medians rip = bench.measure({std::string(pair.mode) + " rip, " + (fromDisk ? "disk" : "file"),
                                                  {pair.mode, "rip", pair.word}, baseline, pair.ripOutputs, copy, nullptr});
        const Bench::Medians exported =
            bench.measure({std::string(pair.mode) + " export, " + (fromDisk ? "disk" : "file"),
                           {pair.mode, "export", pair.word}, baseline, {pair.exported}, copy, nullptr});
        char line[128];
        std::snprintf(line, sizeof line, "%s, %s: export/rip %.2f (processor time %.2f)\n", material, pair.name,
                      exported.seconds / rip.seconds, exported.processorSeconds / rip.processorSeconds);
        ratios.push_back(line);
    }
    std::printf("\n");
    for (const std::string& line : ratios) std::printf("%s", line.c_str());
}

// Reads of one block device held to a rate for this process and the programs it starts, through
// the kernel's control groups (v2's io.max or v1's blkio throttle), while the object lives.
class ReadThrottle {
public:
    explicit ReadThrottle(const std::string& device) {
        struct stat status {};
        if (stat(device.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) {
            failure = device + " is no block device";
            return;
        }
        deviceId = std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
        unified = access("/sys/fs/cgroup/cgroup.controllers", F_OK) == 0;
        const std::string root = unified ? "/sys/fs/cgroup" : "/sys/fs/cgroup/blkio";
        home = root + ownGroup(unified ? "0::" : ":blkio:");
        group = root + "/velmoran-bench";
        limitFile = group + (unified ? "/io.max" : "/blkio.throttle.read_bps_device");
        if (unified) writeFile(root + "/cgroup.subtree_control", "+io");  // may be on already
        if (mkdir(group.c_str(), 0755) != 0 && errno != EEXIST) {
            failure = "no control group " + group + ": " + std::strerror(errno);
            return;
        }
        created = true;
        if (!writeFile(group + "/cgroup.procs", std::to_string(getpid())))
            failure = "this process cannot join " + group;
        else
            joined = true;
    }
    ~ReadThrottle() {
        if (joined) writeFile(home + "/cgroup.procs", std::to_string(getpid()));
        if (created) rmdir(group.c_str());
    }
    ReadThrottle(const ReadThrottle&) = delete;
    ReadThrottle& operator=(const ReadThrottle&) = delete;

    bool limit(std::uint64_t bytesPerSecond) {
        if (writeFile(limitFile, deviceId + (unified ? " rbps=" : " ") + std::to_string(bytesPerSecond))) return true;
        failure = "cannot write " + limitFile;
        return false;
    }

    std::string failure;  // empty while the throttle works

private:
    static bool writeFile(const std::string& path, const std::string& text) {
        const int descriptor = ::open(path.c_str(), O_WRONLY);
        if (descriptor < 0) return false;
        const bool written = write(descriptor, text.data(), text.size()) == ssize_t(text.size());
        return ::close(descriptor) == 0 && written;
    }
    // This process's group in the hierarchy whose line in /proc/self/cgroup holds `marker`.
    static std::string ownGroup(const std::string& marker) {
        const std::string lines = TempDir::readAll("/proc/self/cgroup");
        const std::size_t at = lines.find(marker);
        if (at == std::string::npos) return "";
        const std::size_t begin = at + marker.size();
        const std::string path = lines.substr(begin, lines.find('\n', begin) - begin);
        return path == "/" ? "" : path;
    }

    std::string deviceId;
    std::string home;
    std::string group;
    std::string limitFile;
    bool unified = false;  // cgroup v2
    bool created = false;
    bool joined = false;
};

// Drops what the page cache holds of a file or device, so that the next run reads it anew.
void dropCached(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDONLY);
    if (descriptor < 0) return;
    posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED);
    ::close(descriptor);
}

// The movie rip and export of the recording on `image` from a loop device over it, its reads
// held to a hard disk's speed behind a PC (40 MiB/s over USB 2, 150 MiB/s over SATA), nothing of
// it cached before a run; dd reading the recording's bytes from the same device.
void measureExportsAtDiskSpeed(const std::string& tool, int runs, const std::string& folder, const std::string& image,
                               std::uint32_t recordingMiB) {
    std::printf("\nmovie rip and export from a disk read at a hard disk's speed:\n");
    if (geteuid() != 0) {
        std::printf("skipped: loop devices and read limits need root\n");
        return;
    }
    LoopDevice loop(image, true);
    ReadThrottle throttle(loop.device);
    if (loop.device.empty() || !throttle.failure.empty()) {
        std::printf("skipped: %s\n", loop.device.empty() ? loop.failure.c_str() : throttle.failure.c_str());
        return;
    }
    std::printf("| %-16s | %7s | %8s | %10s | %10s | %12s | %5s |\n", "reads held to", "rip s", "export s",
                "export/rip", "rip cpu s", "export cpu s", "dd s");
    std::printf("|------------------|---------|----------|------------|------------|--------------|-------|\n");
    const std::vector<std::string> copy = dd(loop.device, "copy.bin", recordingRange(recordingMiB));
    std::vector<std::string> written = movieRipOutputs;
    written.insert(written.end(), {"Velmoran_0.mpg", "copy.bin"});
    for (const std::uint32_t mebibytesPerSecond : {40u, 150u}) {
        if (!throttle.limit(std::uint64_t(mebibytesPerSecond) * mebibyte)) {
            std::printf("skipped: %s\n", throttle.failure.c_str());
            break;
        }
        std::vector<double> seconds[3];
        std::vector<double> processorSeconds[2];
        for (int run = 0; run < runs; ++run) {
            for (int side = 0; side < 3; ++side) {
                for (const std::string& name : written) std::remove((folder + "/" + name).c_str());
                sync();
                dropCached(loop.device);
                dropCached(image);
                const Run measured =
                    side == 2 ? runProgram(copy, folder, loop.device)
                              : runProgram({tool, "movie", side == 0 ? "rip" : "export", "0"}, folder, loop.device);
                if (measured.status != 0) std::fprintf(stderr, "exit status %d\n", measured.status);
                seconds[side].push_back(measured.seconds);
                if (side < 2) processorSeconds[side].push_back(measured.processorSeconds);
            }
        }
        const std::string rate = std::to_string(mebibytesPerSecond) + " MiB/s";
        std::printf("| %-16s | %7.3f | %8.3f | %10.2f | %10.3f | %12.3f | %5.3f |\n", rate.c_str(),
                    median(seconds[0]), median(seconds[1]), median(seconds[1]) / median(seconds[0]),
                    median(processorSeconds[0]), median(processorSeconds[1]), median(seconds[2]));
        std::fflush(stdout);
    }
}

// The same on a broadcast-like recording, on a disk made for it (and removed after): from memory,
// with the recording saved into Velmoran_0.vlm in place of the first disk's, and at disk speed.
void measureBroadcastExports(const std::string& tool, int runs, const TempDir& temp, std::uint32_t diskMiB,
                             std::uint32_t recordingMiB, bool fromMemory, bool atDiskSpeed) {
    const std::string disk = temp.file("broadcast.img");
    makeRecorderDisk(disk, diskMiB, recordingMiB, broadcast);
    if (fromMemory) {
        runProgram({tool, "movie", "save", "0"}, temp.path(), disk);
        Bench bench(tool, runs, temp.path(), disk);
        measureExports(bench, disk, recordingMiB, broadcast.name);
    }
    if (atDiskSpeed) measureExportsAtDiskSpeed(tool, runs, temp.path(), disk, recordingMiB);
    std::remove(disk.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--read-heads") == 0) return readHeads(argv[2]);
    if (argc < 2) {
        std::fprintf(stderr, "usage: velmoran_command_bench <VelmoranDisk> [runs] [disk MiB] [recording MiB]\n");
        return 2;
    }
    char resolved[4096];
    const std::string tool = realpath(argv[1], resolved) ? resolved : argv[1];
    const std::string self = realpath(argv[0], resolved) ? resolved : argv[0];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto diskMiB = static_cast<std::uint32_t>(argc > 3 ? std::atoi(argv[3]) : 1024);
    const auto recordingMiB = static_cast<std::uint32_t>(argc > 4 ? std::atoi(argv[4]) : 256);
    if (runs < 1 || diskMiB < recordingMiB * 2 + 16 || recordingMiB < 1) {
        std::fprintf(stderr, "velmoran_command_bench: the disk needs room for two copies of the recording\n");
        return 2;
    }

    TempDir temp;
    const std::string disk = temp.file("disk.img");
    const std::string lister = temp.file("list.img");
    std::fprintf(stderr, "making %u MiB of disk with a %u MiB recording in %s ...\n", diskMiB, recordingMiB,
                 temp.path().c_str());
    makeRecorderDisk(disk, diskMiB, recordingMiB);
    makeFullDirectoryDisk(lister);
    const std::string size = std::to_string(recordingMiB);
    const std::string recordingBytes = recordingRange(recordingMiB);

    if (argc > 5 && std::strcmp(argv[5], "bad-sectors") == 0) {
        compareImageSaves(disk, temp.path(), diskMiB, runs, 100);
        return 0;
    }
    if (argc > 5 && std::strcmp(argv[5], "export") == 0) {
        runProgram({tool, "movie", "save", "0"}, temp.path(), disk);
        printTableHead(runs, diskMiB, recordingMiB);
        Bench bench(tool, runs, temp.path(), disk);
        measureExports(bench, disk, recordingMiB, smallPictures.name);
        measureBroadcastExports(tool, runs, temp, diskMiB, recordingMiB, true, true);
        return 0;
    }
    if (argc > 5 && std::strcmp(argv[5], "disk-speed") == 0) {
        measureBroadcastExports(tool, runs, temp, diskMiB, recordingMiB, false, true);
        return 0;
    }
    if (argc > 5 && std::strcmp(argv[5], "recover") == 0) {
        measureRecover(tool, self, runs, temp.path(), diskMiB);
        return 0;
    }
    printTableHead(runs, diskMiB, recordingMiB);

    Bench bench(tool, runs, temp.path(), disk);
    const std::vector<std::string> copy{"copy.bin"};
    bench.measure({"image save", {"image", "save"}, dd(disk, "Velmoran.img"), {"Velmoran.img"}, {"Velmoran.img"}, nullptr});
    bench.measure({"image load", {"image", "load"}, dd("Velmoran.img", disk, "conv=notrunc"), {}, {}, nullptr});
    bench.measure({"movie save", {"movie", "save", "0"}, dd(disk, "copy.bin", recordingBytes), {"Velmoran_0.vlm"}, copy,
                   nullptr});
    const std::string loadedAt = "seek=" + std::to_string(6 + recordingMiB) + " skip=284 iflag=skip_bytes count=" + size;
    bench.measure({"movie load", {"movie", "load", "Velmoran_0.vlm"}, dd("Velmoran_0.vlm", disk, "conv=notrunc " + loadedAt),
                   {}, {}, [&] { runProgram({tool, "movie", "delete", "1"}, temp.path(), disk); }});
    // The rips, from the disk and from the backup file, are measured beside the exports.
    measureExports(bench, disk, recordingMiB, smallPictures.name);
    measureBroadcastExports(tool, runs, temp, diskMiB, recordingMiB, true, false);

    Bench listBench(tool, runs, temp.path(), lister);
    listBench.measure({"list (4096 recordings)", {"list"}, {}, {}, {}, nullptr});
    std::printf("\nlist of 4096 recordings: %d read calls\n", listReadCalls(lister));
    compareImageSaves(disk, temp.path(), diskMiB, runs, 100);
    std::printf("\n");
    measureCheckAndLoad(tool, runs, temp.path());
    measureRecover(tool, self, runs, temp.path(), diskMiB);
    return 0;
}
