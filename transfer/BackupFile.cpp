#include "transfer/BackupFile.h"

#include <cstring>

#include "base/HostFileWriter.h"

const char BackupFile::header[BackupFile::headerSize] = "velmoran hd V1.02 / vlm 1.0";

std::string BackupFile::nameFor(std::int32_t number) { return "Velmoran_" + std::to_string(number) + ".vlm"; }

bool BackupFile::isHeader(const std::uint8_t* bytes) { return std::memcmp(bytes, header, headerSize) == 0; }

bool BackupFile::writeHeader(HostFileWriter& writer) { return writer.write(header, headerSize); }
