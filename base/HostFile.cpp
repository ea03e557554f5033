#include "base/HostFile.h"

#include "base/Console.h"
#include "base/TextFormat.h"

HostFile::HostFile(const std::string& path, const char* mode) : filePath(path), stream(std::fopen(path.c_str(), mode)) {
    if (!stream) {
        report(201, TextFormat::format("Datei %s konnte nicht geoeffnet werden!\n", filePath.c_str()));
        return;
    }
    streamBuffer = TransferBuffer::allocate(streamBufferSize);
    std::setvbuf(stream.get(), reinterpret_cast<char*>(streamBuffer.get()), _IOFBF, streamBufferSize);
}

HostFile::~HostFile() = default;

bool HostFile::closeStream() {
    if (!stream) return false;
    return std::fclose(stream.release()) == 0;
}

void HostFile::report(int number, const std::string& text) const {
    Console::instance().printMessage(0, number, text.c_str());
}
