// Fuzz target: the input is a command line (CommandWords says how), run through the front end
// on a small recorder disk with a few recordings, in a folder that holds a backup file, a
// damaged one and a disk image. Only the commands in `writers` may write to the disk, each only
// what the list says (a load its data into free clusters only), and the disk is consistent after
// those the list names; only the image commands, which look for the end of the disk, and dump,
// which reads where it is told, may reach past the drive's end.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "CommandWords.h"
#include "FuzzCheck.h"
#include "FuzzDisks.h"
#include "FuzzFolder.h"
#include "FuzzDrive.h"
#include "FuzzRecorder.h"
#include "support/CurrentFolder.h"
#include "support/DiskCheck.h"
#include "support/TempDir.h"

namespace {
constexpr std::uint64_t mebibyte = 1u << 20;
constexpr std::uint64_t systemArea = 6 * mebibyte;

bool isWord(const std::vector<std::string>& words, std::size_t index, const char* word) {
    return words.size() > index && words[index] == word;
}

// What a command may write: anything (it replaces or wipes the disk); table, directory and whole
// clusters that were free (a load); table and directory only.
enum class Writes { anything, recordings, tableAndDirectory };
// When the disk must be consistent after the command.
enum class Consistent { always, whenDone, notChecked };
struct Writer {
    const char* mode;
    const char* command;
    Writes what;
    Consistent after;
};
const Writer writers[] = {
    {"movie", "load", Writes::recordings, Consistent::always},
    {"audio", "load", Writes::recordings, Consistent::always},
    {"movie", "delete", Writes::tableAndDirectory, Consistent::always},
    {"audio", "delete", Writes::tableAndDirectory, Consistent::always},
    {"image", "load", Writes::anything, Consistent::notChecked},
    {"image", "wipe", Writes::anything, Consistent::whenDone},
    {"image", "format", Writes::anything, Consistent::whenDone},
    {"check", "repair", Writes::tableAndDirectory, Consistent::always},
};

const Writer* writerOf(const std::vector<std::string>& words) {
    for (const Writer& writer : writers)
        if (isWord(words, 0, writer.mode) && isWord(words, 1, writer.command)) return &writer;
    return nullptr;
}

// Whether the table of the disk as the command found it marks the cluster free.
bool wasFree(std::int32_t cluster) {
    const std::uint8_t* entry = FuzzDisks::commandDisk().data() + 512 + 4 * std::size_t(cluster);
    return entry[0] == 0 && entry[1] == 0 && entry[2] == 0 && entry[3] == 0;
}

void checkTransfers(FuzzRecorder& recorder, const std::vector<std::string>& words, const Writer* writer) {
    const bool image = isWord(words, 0, "image");
    for (const WatchedPlatform::Transfer& transfer : recorder.fake.transfers()) {
        const std::uint64_t end = transfer.position + transfer.length;
        FuzzCheck::expect(image || isWord(words, 0, "dump") || end <= recorder.drive().size(),
                          "a transfer reaches past the drive");
        if (!transfer.write || (writer && writer->what == Writes::anything)) continue;
        FuzzCheck::expect(writer != nullptr, "the command writes to the disk");
        const bool wholeCluster = transfer.position % mebibyte == 0 && transfer.length == mebibyte;
        FuzzCheck::expect(end <= systemArea || (writer->what == Writes::recordings && wholeCluster &&
                                                wasFree(static_cast<std::int32_t>(transfer.position / mebibyte))),
                          "the command writes over a cluster in use");
    }
}

// What tells a file from the same file changed (only image save writes a command file, and
// that with another size) or made anew.
using FileStamp = std::pair<std::uintmax_t, std::filesystem::file_time_type>;
FileStamp stampOf(const std::filesystem::path& file) {
    std::error_code error;
    return {std::filesystem::file_size(file, error), std::filesystem::last_write_time(file, error)};
}

// The files the command lines find: made once and made again only when a command changed or
// removed one; whatever else a command left behind goes.
void prepareFolder(const FuzzFolder& folder) {
    static std::map<std::string, FileStamp> made;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(folder.path(), error)) {
        const auto file = made.find(item.path().filename().string());
        if (file == made.end() || file->second != stampOf(item.path()))
            std::filesystem::remove_all(item.path(), error);
    }
    for (const auto& file : FuzzDisks::commandFiles()) {
        if (std::filesystem::exists(file.first, error)) continue;
        TempDir::writeAll(file.first, file.second);
        made[file.first] = stampOf(file.first);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzDrive drive(FuzzDisks::commandDisk());
    const FuzzFolder& folder = FuzzFolder::instance();
    const CurrentFolder current(folder.path());
    prepareFolder(folder);
    const std::vector<std::string> words = CommandWords::split(data, size);

    FuzzRecorder recorder(std::move(drive.drive()));
    const std::int32_t status = recorder.run(words);
    FuzzCheck::expect(status == 0 || status == 1, "exit status other than 0 or 1");
    const Writer* writer = writerOf(words);
    checkTransfers(recorder, words, writer);
    if (writer && (writer->after == Consistent::always || (writer->after == Consistent::whenDone && status == 0))) {
        const DiskCheck check(recorder.drive());
        FuzzCheck::expect(check.problems().empty(), "the disk is damaged after the command");
        FuzzCheck::expect(check.unreachableInUse().empty(), "the command left clusters in use that no slot reaches");
    }
    drive.drive() = recorder.takeDrive();
    drive.noteWrites(recorder.fake);
    drive.reset();
    return 0;
}
