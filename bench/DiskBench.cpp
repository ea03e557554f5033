// Throughput of the disk path on an image file: whole clusters and single sectors through the
// recorder disk, against plain pread on the same file as the baseline the tool should reach.
// Run: build/bench/velmoran_bench [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "disk/DiskPlatform.h"
#include "disk/RecorderDisk.h"

namespace {
constexpr int imageClusters = 64;

class BenchImage {
public:
    BenchImage() {
        path = (std::filesystem::temp_directory_path() / ("velmoran-bench-" + std::to_string(getpid()) + ".img")).string();
        std::vector<char> cluster(RecorderDisk::clusterSize, 0x33);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        for (int c = 0; c < imageClusters; ++c) out.write(cluster.data(), static_cast<std::streamsize>(cluster.size()));
        out.seekp(0);
        out.write(RecorderDisk::diskSignature, RecorderDisk::signatureSize);
        out.close();
        setenv("VELMORAN_DRIVES", path.c_str(), 1);
    }
    ~BenchImage() { std::filesystem::remove(path); }
    std::string path;
};

BenchImage& image() {
    static BenchImage theImage;
    return theImage;
}

RecorderDisk& disk() {
    image();
    static RecorderDisk theDisk(&DiskPlatform::system());
    theDisk.create();
    return theDisk;
}

void ClusterReads(benchmark::State& state) {
    RecorderDisk& recorder = disk();
    std::vector<std::uint8_t> buffer(RecorderDisk::clusterSize);
    const bool swap = state.range(0) != 0;
    std::int32_t cluster = 6;
    for (auto _ : state) {
        benchmark::DoNotOptimize(recorder.readCluster(buffer.data(), cluster, swap));
        cluster = cluster + 1 < imageClusters ? cluster + 1 : 6;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * RecorderDisk::clusterSize);
}
BENCHMARK(ClusterReads)->Arg(0)->Arg(1);

void ClusterWrites(benchmark::State& state) {
    RecorderDisk& recorder = disk();
    std::vector<std::uint8_t> buffer(RecorderDisk::clusterSize, 0x44);
    std::int32_t cluster = 6;
    for (auto _ : state) {
        benchmark::DoNotOptimize(recorder.writeCluster(buffer.data(), cluster, false));
        cluster = cluster + 1 < imageClusters ? cluster + 1 : 6;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * RecorderDisk::clusterSize);
}
BENCHMARK(ClusterWrites);

void DirectorySectorReads(benchmark::State& state) {
    RecorderDisk& recorder = disk();
    std::uint8_t sector[RecorderDisk::sectorSize];
    std::uint64_t slot = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(recorder.readSector(sector, 5242880 + 256 * slot, true));
        slot = (slot + 1) % 4096;
    }
}
BENCHMARK(DirectorySectorReads);

void PlainPreadBaseline(benchmark::State& state) {
    const int descriptor = ::open(image().path.c_str(), O_RDONLY);
    std::vector<char> buffer(RecorderDisk::clusterSize);
    off_t cluster = 6;
    for (auto _ : state) {
        benchmark::DoNotOptimize(::pread(descriptor, buffer.data(), buffer.size(), cluster * RecorderDisk::clusterSize));
        cluster = cluster + 1 < imageClusters ? cluster + 1 : 6;
    }
    ::close(descriptor);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * RecorderDisk::clusterSize);
}
BENCHMARK(PlainPreadBaseline);
}  // namespace

BENCHMARK_MAIN();
