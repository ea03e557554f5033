#include "rip/FileRipSource.h"

#include <cctype>

#include "base/Console.h"
#include "base/HostFileReader.h"
#include "base/TextFormat.h"
#include "fs/DirEntry.h"
#include "transfer/BackupFile.h"

FileRipSource::FileRipSource(const std::string& fileName, bool audioOnly)
    : FileRipSource(fileName, audioOnly, Output::ElementaryStreams) {}

FileRipSource::FileRipSource(const std::string& fileName, bool audioOnly, Output output)
    : RipSource(audioOnly, output), fileName(fileName), backupFile(new HostFileReader(fileName, HostFileReader::pieceBuffer)) {
    if (backupFile->isOpen()) openOutputs(baseNameFor(fileName));
}

FileRipSource::~FileRipSource() = default;

std::string FileRipSource::baseNameFor(const std::string& fileName) {
    const std::string extension = ".vlm";
    if (fileName.size() <= extension.size()) return fileName;
    const std::size_t start = fileName.size() - extension.size();
    for (std::size_t k = 0; k < extension.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(fileName[start + k])) != extension[k]) return fileName;
    return fileName.substr(0, start);
}

bool FileRipSource::isReady() const { return outputsReady() && backupFile->isOpen(); }

bool FileRipSource::openSource() {
    Console& console = Console::instance();
    std::uint8_t header[BackupFile::headerSize];
    if (backupFile->readSome(header, sizeof header) != sizeof header || !BackupFile::isHeader(header)) {
        console.printMessage(0, 2, "Datei ist kein VLM-File!");
        return false;
    }
    backupEntry.reset(new DirEntry(*backupFile));
    if (!backupEntry->isValid()) {
        console.printMessage(0, 3, "Verzeichniseintrag im VLM-File fehlerhaft!");
        return false;
    }
    useEntry(*backupEntry);
    console.print(TextFormat::format("%s der Aufnahme \"%s\" aus der Sicherungsdatei %s\n", verb(),
                                     backupEntry->shownName().c_str(), fileName.c_str()).c_str());
    return true;
}

std::uint32_t FileRipSource::readStream(void* buffer, std::uint32_t count) {
    const auto delivered = static_cast<std::uint32_t>(backupFile->readSome(buffer, count));
    // A read error ends the stream as a failure, not as the end of the recording; like the disk
    // source's read failure, the message ends without a line end.
    if (backupFile->lastReadFailed() && !readFailed) {
        readFailed = true;
        Console::instance().printMessage(
            0, 202, TextFormat::format("Fehler beim Lesen der Datei %s!", fileName.c_str()).c_str());
    }
    return readFailed ? 0 : delivered;
}

bool FileRipSource::streamFailed() const { return readFailed; }
