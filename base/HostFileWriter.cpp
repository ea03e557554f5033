#include "base/HostFileWriter.h"

#include "base/TextFormat.h"

HostFileWriter::HostFileWriter(const std::string& path, std::size_t bufferSize) : HostFile(path, "wb", bufferSize) {}

HostFileWriter::~HostFileWriter() = default;

bool HostFileWriter::write(const void* buffer, std::size_t length) {
    if (!isOpen()) return false;
    if (std::fwrite(buffer, 1, length, file()) == length) return true;
    std::clearerr(file());
    return reportWriteFailure();
}

bool HostFileWriter::close() {
    if (!isOpen()) return false;
    const bool flushed = std::fflush(file()) == 0;
    const bool closed = closeStream();
    if (flushed && closed) return true;
    return reportWriteFailure();
}

bool HostFileWriter::reportWriteFailure() const {
    report(205, TextFormat::format("Schreiben in Datei %s fehlgeschlagen!\n", path().c_str()));
    return false;
}
