#include "base/HostFile.h"

#include "base/Console.h"
#include "base/TextFormat.h"

HostFile::HostFile(const HostFileName& name, const char* mode, std::size_t bufferSize)
    : fileName(name), stream(name.open(mode)) {
    if (!stream) {
        report(201, TextFormat::format("Datei %s konnte nicht geoeffnet werden!\n", path().c_str()));
        return;
    }
    if (bufferSize == 0) {
        std::setvbuf(stream.get(), nullptr, _IONBF, 0);
        return;
    }
    streamBuffer = TransferBuffer::allocate(bufferSize);
    std::setvbuf(stream.get(), reinterpret_cast<char*>(streamBuffer.get()), _IOFBF, bufferSize);
}

HostFile::~HostFile() = default;

bool HostFile::closeStream() {
    if (!stream) return false;
    return std::fclose(stream.release()) == 0;
}

void HostFile::report(int number, const std::string& text) const {
    Console::instance().printMessage(0, number, text.c_str());
}
