#include "base/HostFileWriter.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

#include "base/TextFormat.h"

namespace {
void forgetLastFailure() {
    errno = 0;
#ifdef _WIN32
    SetLastError(0);
#endif
}

bool lastFailureWasFullFileSystem() {
#ifdef _WIN32
    const DWORD error = GetLastError();
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) return true;
#endif
    return errno == ENOSPC;
}
}  // namespace

HostFileWriter::Tally& HostFileWriter::tally() {
    static Tally processTally;
    return processTally;
}

HostFileWriter::HostFileWriter(const HostFileName& name, std::size_t bufferSize) : HostFile(name, "wb", bufferSize) {}

HostFileWriter::~HostFileWriter() = default;

bool HostFileWriter::write(const void* buffer, std::size_t length) {
    if (!isOpen()) return false;
    forgetLastFailure();
    if (std::fwrite(buffer, 1, length, file()) == length) {
        tally().bytes += length;
        return true;
    }
    std::clearerr(file());
    return reportWriteFailure();
}

bool HostFileWriter::close() {
    if (!isOpen()) return false;
    forgetLastFailure();
    const bool flushed = std::fflush(file()) == 0;
    const bool closed = closeStream();
    if (!flushed || !closed) return reportWriteFailure();
    if (name().publish()) return true;
    report(851, TextFormat::format("Datei %s konnte nicht in %s umbenannt werden!\n", path().c_str(),
                                   name().name().c_str()));
    return false;
}

bool HostFileWriter::reportWriteFailure() const {
    if (lastFailureWasFullFileSystem()) tally().fullFile = path();
    report(205, TextFormat::format("Schreiben in Datei %s fehlgeschlagen!\n", path().c_str()));
    return false;
}
