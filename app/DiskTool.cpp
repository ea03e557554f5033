#include "app/DiskTool.h"

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/DumpArguments.h"
#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/HexLines.h"
#include "disk/RecorderDisk.h"
#include "fs/ClusterTable.h"
#include "fs/Directory.h"
#include "fs/FileSystemCheck.h"
#include "fs/FileSystemRepair.h"
#include "fs/Recording.h"
#include "maint/DiskMaintenance.h"
#include "recover/RecoverCommand.h"
#include "rip/DiskRipSource.h"
#include "rip/FileRipSource.h"
#include "transfer/RecordingTransfer.h"

namespace {
bool is(const char* word, const char* keyword) { return std::strcmp(word, keyword) == 0; }

Console& console() { return Console::instance(); }

// How a command holds the drive: several that only read it run side by side, one that writes
// it runs alone.
constexpr bool readsDisk = false;
constexpr bool writesDisk = true;

// The word that stands for every recording where a number names one (there is no delete of all;
// a backup file of this name is given as ./all).
constexpr const char* allRecordings = "all";
}  // namespace

DiskTool::DiskTool(std::int32_t argCount, char** args) : argCount(argCount), args(args) {}

DiskTool::DiskTool(std::int32_t argCount, char** args, Directory& directory)
    : argCount(argCount), args(args), givenDirectory(&directory) {}

DiskTool::~DiskTool() = default;

std::int32_t DiskTool::run() {
    if (hasWord(1)) {
        const char* command = args[1];
        if (is(command, "dump")) return runDump();
        if (is(command, "list")) return runList();
        if (is(command, "image")) return runImage();
        if (is(command, "movie") || is(command, "audio")) return runRecording();
        if (is(command, "check")) return runCheck();
        if (is(command, "recover")) return runRecover();
    }
    printHelp();
    return 1;
}

RecorderDisk& DiskTool::recorderDisk() {
    return givenDirectory ? givenDirectory->recorderDisk() : RecorderDisk::instance();
}

ClusterTable& DiskTool::clusterTable() {
    return givenDirectory ? givenDirectory->clusterTable() : ClusterTable::instance();
}

Directory& DiskTool::directory() {
    if (!givenDirectory) return Directory::instance();
    givenDirectory->load();
    return *givenDirectory;
}

bool DiskTool::checkDisk() {
    RecorderDisk& disk = recorderDisk();
    if (disk.isFound()) return true;
    console().print("\n");
    printVersion();
    console().print("\n");
    console().print(disk.driveReport());
    console().print("\n");
    return false;
}

bool DiskTool::holdDisk(bool exclusive) { return recorderDisk().holdDrive(exclusive); }

std::int32_t DiskTool::runDump() {
    if (!checkDisk()) return 1;
    if (!hasWord(2)) {
        console().print("Angabe der Startposition fehlt\n");
        return 1;
    }
    std::uint64_t position = 0;
    // A word that names no position is refused like a missing one.
    if (!DumpArguments::parseStart(args[2], &position)) {
        console().print("Angabe der Startposition fehlt\n");
        return 1;
    }
    RecorderDisk& disk = recorderDisk();
    const std::uint32_t low = static_cast<std::uint32_t>(position);
    const std::uint32_t alignedLow = disk.alignToSector(low);
    position = (position & 0xFFFFFFFF00000000u) | alignedLow;
    if (alignedLow != low) {
        console().print(TextFormat::format("Position auf Sectorgrenze %s justiert!\n",
                                           HexLines::positionText(position).c_str()).c_str());
    }
    const std::uint32_t length = hasWord(3) ? DumpArguments::parseLength(args[3]) : DumpArguments::defaultLength;
    bool swap = true;
    if (hasWord(4)) {
        if (is(args[4], "littlendian")) {
            swap = false;
        } else if (!is(args[4], "bigendian")) {
            console().print("Fehlerhafte Angabe fuer bigendian/littlendian!\n");
            return 1;
        }
    }
    if (!holdDisk(readsDisk)) return 1;
    return disk.dumpRange(position, length, swap) ? 0 : 1;
}

std::int32_t DiskTool::runList() {
    if (!checkDisk() || !holdDisk(readsDisk)) return 1;
    return directory().list() ? 0 : 1;
}

std::int32_t DiskTool::runImage() {
    if (!checkDisk()) return 1;
    if (!hasWord(2)) {
        console().print("Angabe save, load bzw. wipe fehlt\n");
        return 1;
    }
    const char* sub = args[2];
    bool (DiskMaintenance::*operation)() = nullptr;
    if (is(sub, "save"))
        operation = &DiskMaintenance::saveImage;
    else if (is(sub, "load"))
        operation = &DiskMaintenance::loadImage;
    else if (is(sub, "wipe"))
        operation = &DiskMaintenance::wipeCommand;
    else if (is(sub, "format"))
        operation = &DiskMaintenance::formatCommand;
    if (operation == nullptr) {
        console().print(TextFormat::format("Angabe %s unzulaessig!\n", sub).c_str());
        return 1;
    }
    if (!holdDisk(operation == &DiskMaintenance::saveImage ? readsDisk : writesDisk)) return 1;
    DiskMaintenance maintenance(recorderDisk(), clusterTable());
    return (maintenance.*operation)() ? 0 : 1;
}

std::int32_t DiskTool::runRecording() {
    if (!hasWord(2)) {
        console().print("Angabe save, load, delete bzw. rip fehlt\n");
        return 1;
    }
    const char* sub = args[2];
    if (is(sub, "save")) return runSaveOrDelete(true);
    if (is(sub, "delete")) return runSaveOrDelete(false);
    if (is(sub, "load")) return runLoad();
    if (is(sub, "rip")) return runRip(is(args[1], "audio"));
    if (is(sub, "export")) return runRip(is(args[1], "audio"), RipSource::Output::Export);
    console().printMessage(2, 513, TextFormat::format("Angabe %s unzulaessig!\n", sub).c_str());
    return 1;
}

std::int32_t DiskTool::runSaveOrDelete(bool save) {
    if (!checkDisk()) return 1;
    if (!hasWord(3)) {
        console().print("Angabe <nr> fehlt\n");
        return 1;
    }
    if (save && is(args[3], allRecordings)) return runAll(AllRecordings::Operation::save);
    if (!holdDisk(save ? readsDisk : writesDisk)) return 1;
    // The number must name a recording; the handle says so when it does not.
    Recording recording(directory(), recordingNumber(args[3]));
    if (recording.entry() == nullptr) return 1;
    RecordingTransfer transfer(recording);
    return (save ? transfer.save() : transfer.erase()) ? 0 : 1;
}

std::int32_t DiskTool::runLoad() {
    if (!checkDisk()) return 1;
    if (!hasWord(3)) {
        console().print("Angabe <dateiname> fehlt\n");
        return 1;
    }
    if (!holdDisk(writesDisk)) return 1;
    Recording recording(directory(), Recording::FirstFreeSlot{});
    if (recording.entry() == nullptr) return 1;
    return RecordingTransfer(recording).load(args[3]) ? 0 : 1;
}

std::int32_t DiskTool::runCheck() {
    // The word decides before the disk is touched whether the run writes.
    const bool repair = hasWord(2) && is(args[2], "repair");
    if (hasWord(2) && !repair) {
        console().print(TextFormat::format("Angabe %s unzulaessig!\n", args[2]).c_str());
        return 1;
    }
    if (!checkDisk() || !holdDisk(repair ? writesDisk : readsDisk)) return 1;
    Directory& checked = directory();
    const FileSystemCheck check(checked);
    if (check.report()) return 0;
    if (!repair) return 1;
    return FileSystemRepair(checked, check).run() ? 0 : 1;
}

std::int32_t DiskTool::runRecover() {
    if (!checkDisk()) return 1;
    const bool save = hasWord(2) && is(args[2], "save");
    if (hasWord(2) && !save) {
        console().print(TextFormat::format("Angabe %s unzulaessig!\n", args[2]).c_str());
        return 1;
    }
    if (save && !hasWord(3)) {
        console().print("Angabe <nr> bzw. all fehlt\n");
        return 1;
    }
    if (!holdDisk(readsDisk)) return 1;
    RecoverCommand recover(directory());
    if (!save) return recover.list() ? 0 : 1;
    if (is(args[3], allRecordings)) return recover.saveAll() ? 0 : 1;
    return recover.save(recordingNumber(args[3])) ? 0 : 1;
}

bool DiskTool::isRecordingNumber(const char* word) {
    // A word whose reading gives 0 without being "0" or "00" is a file name ("000", "-0", "film").
    return is(word, "0") || is(word, "00") || std::strtoll(word, nullptr, 10) != 0;
}

std::int32_t DiskTool::recordingNumber(const char* word) {
    char* end = nullptr;
    const long long value = std::strtoll(word, &end, 10);
    // A word without digits names no recording; -1 is no slot number.
    if (end == word) return -1;
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::int32_t DiskTool::runRip(bool audioOnly, RipSource::Output output) {
    if (!hasWord(3)) {
        console().print("Angabe <nr> oder <dateiname> fehlt\n");
        return 1;
    }
    if (is(args[3], allRecordings)) {
        if (output == RipSource::Output::Export)
            return runAll(audioOnly ? AllRecordings::Operation::audioExport : AllRecordings::Operation::movieExport);
        return runAll(audioOnly ? AllRecordings::Operation::audioRip : AllRecordings::Operation::movieRip);
    }
    std::unique_ptr<RipSource> source;
    if (isRecordingNumber(args[3])) {
        if (!checkDisk() || !holdDisk(readsDisk)) return 1;
        source.reset(new DiskRipSource(directory(), recordingNumber(args[3]), audioOnly, output));
    } else {
        // A backup file needs no recorder disk: no drive is probed for it.
        source.reset(new FileRipSource(args[3], audioOnly, output));
    }
    return source->run() ? 0 : 1;
}

std::int32_t DiskTool::runAll(AllRecordings::Operation operation) {
    if (!checkDisk() || !holdDisk(readsDisk)) return 1;
    return AllRecordings(directory(), operation).run() ? 0 : 1;
}

void DiskTool::printVersion() { console().print("VelmoranDisk Version 0.9.6\n"); }

void DiskTool::printHelp() {
    static const char* const commonPart[] = {
        "VelmoranDisk Version 0.9.8\n",
        "\n",
        "  Nutzbar auf Win9x/Me und Win2k/XP\n",
        "  Verwendung auf eigene Gefahr !\n",
        "\n",
        "  list  Ausgabe des Inhaltsverzeichnis\n",
        "\n",
        "  movie|audio save <nr> | load <dateiname> | delete <nr> | rip <nr>|<dateiname>\n",
        "    save             Auslesen der Aufnahme <nr> in die \n",
        "                     Sicherungsdatei Velmoran_<nr>.vlm\n",
        "    load             Laden der Aufnahme aus <dateiname>\n",
        "    delete           Loeschen der Aufnahme <nr>\n",
        "    rip <nr>         Rippen der Aufnahme <nr>\n",
        "                     bei movie: nach Velmoran_<nr>_video/audio.pes\n",
        "                     bei audio: nach Velmoran_<nr>.mpa\n",
        "    rip <dateiname>  Rippen der Sicherungsdatei <dateiname>\n",
        "                     bei movie: nach <dateiname>_video/audio.pes\n",
        "                     bei audio: nach <dateiname>.mpa\n",
        "    export <nr>|<dateiname>\n",
        "                     Export in eine MPEG-Datei, die Player abspielen\n",
        "                     bei movie: nach Velmoran_<nr>.mpg bzw. <dateiname>.mpg\n",
        "                     bei audio: nach Velmoran_<nr>.mp2 bzw. <dateiname>.mp2\n",
        "    save all         Auslesen aller Aufnahmen in die Sicherungsdateien\n",
        "                     Velmoran_<nr> <titel>.vlm\n",
        "    rip all          Rippen aller Aufnahmen\n",
        "                     bei movie: nach Velmoran_<nr> <titel>_video/audio.pes\n",
        "                     bei audio: nach Velmoran_<nr> <titel>.mpa\n",
        "    export all       Export aller Aufnahmen\n",
        "                     bei movie: nach Velmoran_<nr> <titel>.mpg\n",
        "                     bei audio: nach Velmoran_<nr> <titel>.mp2\n",
        "\n",
        "  check  Pruefung von Belegungstabelle und Inhaltsverzeichnis\n",
        "  check repair\n",
        "        Pruefung und Behebung der ohne Verlust behebbaren Fehler\n",
        "\n",
    };
    static const char* const extendedPart[] = {
        "Zur Entwicklungsunterstuetzung\n",
        "\n",
        "  image save | load | wipe | format\n",
        "        Auslesen des Festplatteninhalt in die Datei Velmoran.img\n",
        "        Laden des Festplatteninhalts aus Datei Velmoran.img\n",
        "        Ueberschreiben des Festplatteninhalts mit 0x00 an allen Stellen\n",
        "        Formatierung (inkl. wipe) der Festplatte\n",
        "\n",
        "  dump  <start> [<laenge>] [bigendian|littlendian]\n",
        "        Ausgabe des Platteninhalts ab Position in der Lange\n",
        "        Start und Laenge als HEX-Werte\n",
        "        Laenge: Default = 0xFF (265 Bytes / 1 Sector)\n",
        "        Format der Platte: bigendian (default) | littlendian\n",
    };
    static const char* const recoverPart[] = {
        "  recover [save <nr>|all]\n",
        "    recover          Liste der geloeschten und verlorenen Aufnahmen\n",
        "    save <nr>|all    Sichern der Aufnahme <nr> bzw. aller in die\n",
        "                     Sicherungsdatei Velmoran_recovered_<nr>.vlm\n",
        "\n",
    };
    printVersion();
    for (const char* line : commonPart) console().print(line);
    for (const char* line : recoverPart) console().print(line);
    if (hasWord(1) && is(args[1], "?")) {
        for (const char* line : extendedPart) console().print(line);
    } else {
        console().print("    ?                erweiterte Hilfe\n");
    }
    console().print("\n");
}
