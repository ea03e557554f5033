// Writes a demo recorder disk: a sparse image file that carries the recorder's signature.
// Usage: MakeDemoDisk <image file> [size in MiB, default 48]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "disk/RecorderDisk.h"

namespace {
bool writeAt(std::fstream& image, std::uint64_t position, const void* bytes, std::size_t length) {
    image.seekp(static_cast<std::streamoff>(position));
    image.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(length));
    return static_cast<bool>(image);
}
}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: MakeDemoDisk <image file> [size in MiB]\n");
        return 2;
    }
    const long sizeMiB = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 48;
    if (sizeMiB < 7) {
        std::fprintf(stderr, "MakeDemoDisk: a recorder disk needs at least 7 MiB\n");
        return 2;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(sizeMiB) * RecorderDisk::clusterSize;
    {
        std::ofstream create(argv[1], std::ios::binary | std::ios::trunc);
        if (!create) {
            std::fprintf(stderr, "MakeDemoDisk: cannot create %s\n", argv[1]);
            return 1;
        }
    }
    std::fstream image(argv[1], std::ios::binary | std::ios::in | std::ios::out);
    const char last = 0;
    bool ok = writeAt(image, size - 1, &last, 1);
    ok = ok && writeAt(image, 0, RecorderDisk::diskSignature, RecorderDisk::signatureSize);
    if (!ok) {
        std::fprintf(stderr, "MakeDemoDisk: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
