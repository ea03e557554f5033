#include "rip/ExportOutput.h"

#include <cinttypes>
#include <cstdio>

#include "base/Console.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "mpeg/AccessUnitSink.h"
#include "mpeg/MpegExport.h"

namespace {
Console& console() { return Console::instance(); }
}  // namespace

ExportOutput::ExportOutput(const HostFileName& baseName, bool audioOnly)
    : audioOnly(audioOnly),
      fileName(baseName.withSuffix(audioOnly ? ".mp2" : ".mpg")),
      file(fileName),
      exporter(new MpegExport(file, audioOnly ? MpegExport::Target::AudioFile : MpegExport::Target::ProgramStream)) {}

ExportOutput::~ExportOutput() = default;

bool ExportOutput::video(const std::uint8_t* stored, std::uint32_t length, bool zeroed) {
    if (zeroed)
        exporter->videoGap();
    else
        pass(AccessUnitSink::videoStream, stored, length);
    return !file.hasFailed();
}

bool ExportOutput::audio(const std::uint8_t* stored, std::uint32_t length, bool zeroed) {
    if (zeroed)
        exporter->audioGap();
    else
        pass(AccessUnitSink::audioStream, stored, length);
    return !file.hasFailed();
}

// The payload is swapped back straight into the place where the export keeps it.
void ExportOutput::pass(int stream, const std::uint8_t* stored, std::uint32_t length) {
    RecorderDisk::copySwappedWords(exporter->room(stream, length), stored, length);
    exporter->filled(stream, length);
}

void ExportOutput::gap() {
    exporter->videoGap();
    exporter->audioGap();
}

bool ExportOutput::close() {
    const bool written = exporter->finish();
    const bool usable = report();
    const bool closed = file.close() && written;
    if (closed && !usable && exporter->videoReport().written == 0 && exporter->audioReport().written == 0)
        fileName.remove();
    return closed && usable;
}

// The packs begun go out whole; the file closes without taking its own name where it is
// written under a temporary one, since it is not the whole recording.
void ExportOutput::closeAfterFailure() {
    gap();
    exporter->finish();
}

bool ExportOutput::report() {
    const MpegExport::StreamReport video = exporter->videoReport();
    const MpegExport::StreamReport audio = exporter->audioReport();
    const char* name = fileName.name().c_str();
    if (audioOnly && audio.dropped > 0) {
        console().printMessage(0, 801, TextFormat::format("%" PRIu64 " Audioframes wegen fehlerhafter Daten ausgelassen.\n",
                                                          audio.dropped).c_str());
    } else if (video.dropped + audio.dropped > 0) {
        console().printMessage(0, 801, TextFormat::format("%" PRIu64 " Videobilder und %" PRIu64
                                                          " Audioframes wegen fehlerhafter Daten ausgelassen.\n",
                                                          video.dropped, audio.dropped).c_str());
    }
    if (audio.written == 0 && (audioOnly || video.written == 0)) {
        console().printMessage(0, 802, TextFormat::format("Die Aufnahme enthaelt keine abspielbaren MPEG-Daten, "
                                                          "%s wurde nicht erstellt!\n", name).c_str());
        return false;
    }
    if (audioOnly) return true;
    if (video.sawData && video.written == 0) {
        const char* what = exporter->sawSequenceHeader() ? "kein abspielbares Bild"
                                                         : "keinen gueltigen Sequenzkopf (00 00 01 B3)";
        console().printMessage(0, 803, TextFormat::format("Die Videodaten enthalten %s, %s enthaelt nur den Ton!\n",
                                                          what, name).c_str());
        return false;
    }
    if (audio.sawData && audio.written == 0) {
        console().printMessage(0, 804, TextFormat::format("Die Audiodaten sind kein MPEG-Audio, %s enthaelt nur das "
                                                          "Bild!\n", name).c_str());
        return false;
    }
    if (!video.sawData)
        console().printMessage(0, 805, TextFormat::format("Die Aufnahme enthaelt kein Video, %s enthaelt nur den "
                                                          "Ton.\n", name).c_str());
    return true;
}
