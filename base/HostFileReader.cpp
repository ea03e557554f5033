#include "base/HostFileReader.h"

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
    readFailed = !isOpen();
    if (readFailed) return 0;
    const std::size_t count = std::fread(buffer, 1, length, file());
    readFailed = std::ferror(file()) != 0;
    std::clearerr(file());
    return count;
}
