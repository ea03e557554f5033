#include "fs/Recording.h"

#include "base/Console.h"
#include "base/TextFormat.h"
#include "fs/Directory.h"

Recording::Recording(std::int32_t number) : Recording(Directory::instance(), number) {}

Recording::Recording(FirstFreeSlot) : Recording(Directory::instance(), FirstFreeSlot{}) {}

Recording::Recording(Directory& directory, std::int32_t number) : recordingDirectory(&directory), slotNumber(number) {
    findByNumber(directory);
}

Recording::Recording(Directory& directory, FirstFreeSlot) : recordingDirectory(&directory) {
    findFirstFree(directory);
}

Recording::~Recording() = default;

void Recording::findByNumber(Directory& directory) {
    recordingEntry = directory.entryAt(slotNumber);
    if (!recordingEntry)
        Console::instance().printMessage(2, 5, TextFormat::format("Eintrag %d nicht gueltig!\n", slotNumber).c_str());
}

void Recording::findFirstFree(Directory& directory) {
    recordingEntry = directory.firstFree();
    if (!recordingEntry) Console::instance().printMessage(1, 6, "Inhaltsverzeichnis voll!");
}
