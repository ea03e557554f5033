#include "base/HostFileReader.h"

#include <climits>

#include "base/TextFormat.h"

HostFileReader::HostFileReader(const std::string& path, std::size_t bufferSize) : HostFile(path, "rb", bufferSize) {}

HostFileReader::~HostFileReader() = default;

bool HostFileReader::readExact(void* buffer, std::size_t length) {
    if (!isOpen()) return false;
    if (std::fread(buffer, 1, length, file()) == length) return true;
    if (std::ferror(file()))
        report(202, TextFormat::format("Fehler beim Lesen der Datei %s!\n", path().c_str()));
    else
        report(204, TextFormat::format("Nicht ausreichende Bytes verf\xFCgbar beim Lesen der Datei %s!\n", path().c_str()));
    // The stream stays usable for later calls.
    std::clearerr(file());
    return false;
}

std::size_t HostFileReader::readSome(void* buffer, std::size_t length) {
    readFailed = !isOpen() || positionLost;
    if (readFailed) return 0;
    const std::size_t count = std::fread(buffer, 1, length, file());
    readFailed = std::ferror(file()) != 0;
    std::clearerr(file());
    return count;
}

bool HostFileReader::reaches(std::uint64_t position) {
    if (!isOpen()) return false;
    std::FILE* stream = file();
    const long here = std::ftell(stream);
    if (here < 0 || position > static_cast<std::uint64_t>(LONG_MAX) ||
        std::fseek(stream, static_cast<long>(position), SEEK_SET) != 0)
        return true;
    unsigned char byte = 0;
    const bool reached = std::fread(&byte, 1, 1, stream) == 1 || std::ferror(stream) != 0;
    std::clearerr(stream);
    // Back where it stood; a file that cannot go back delivers nothing more.
    positionLost = std::fseek(stream, here, SEEK_SET) != 0;
    return reached;
}
