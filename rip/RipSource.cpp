#include "rip/RipSource.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "base/Console.h"
#include "base/HostFileName.h"
#include "base/LittleEndian.h"
#include "base/TextFormat.h"
#include "disk/RecorderDisk.h"
#include "fs/DirEntry.h"
#include "rip/ElementaryOutput.h"
#include "rip/ExportOutput.h"

namespace {
Console& console() { return Console::instance(); }
}  // namespace

RipSource::RipSource(bool audioOnly, Output output)
    : audioOnly(audioOnly), outputKind(output), recordBuffer(new std::uint8_t[recordSize]()) {}

RipSource::~RipSource() = default;

void RipSource::openOutputs(const HostFileName& baseName) {
    if (outputKind == Output::Export)
        output.reset(new ExportOutput(baseName, audioOnly));
    else
        output.reset(new ElementaryOutput(baseName, audioOnly));
}

bool RipSource::outputsReady() const { return output && output->isOpen(); }

bool RipSource::isReady() const { return outputsReady(); }

bool RipSource::run() {
    if (!isReady() || !openSource() || !recordingEntry) return false;
    const std::uint64_t size = recordingEntry->sizeBytes();
    console().startProgress(size / recordSize);
    std::uint64_t position = 0;
    if (recordingEntry->startOffset() != 0 && !skipStartRange(position)) return false;
    bool recordWanted = true;
    while (position < size && !outputFailed) {
        // After a resynchronisation the next record is the one in the buffer.
        const std::uint8_t* record = recordBuffer.get();
        if (recordWanted) {
            record = nextRecord(recordBuffer.get());
            bufferFill = record ? recordSize : 0;
        }
        // A record cut short by the end of the stream is dropped whole: its tail was never
        // delivered, and a part of a payload is no use to a decoder. The disk source never
        // delivers one, and every output stays a sequence of whole payloads.
        if (bufferFill < recordSize) break;
        recordWanted = handleRecord(record, position);
        if (recordWanted) {
            position += recordSize;
            continue;
        }
        if (record != recordBuffer.get()) std::memcpy(recordBuffer.get(), record, recordSize);
        resynchronise(position);
    }
    if (streamFailed()) {
        // The read failure message ends without a line end; the meter stays unfinished.
        console().print("\n");
        output->closeAfterFailure();
        return false;
    }
    if (outputFailed) return false;
    // A stream that ends more than a record before the recording's size was cut (a truncated
    // backup file): what it began is not whole. The record that a chain's last cluster cuts
    // short at the size is the recording's natural end.
    if (position < size && size - position > recordSize) output->gap();
    console().finishProgress();
    const bool closed = output->close();
    return streamWhole() && closed;
}

// Passes over the first cluster and startOffset bytes behind it, in pieces no larger than a
// record, so that no request outgrows a cluster, whatever the offset.
bool RipSource::skipStartRange(std::uint64_t& position) {
    const std::uint64_t start = std::uint64_t{RecorderDisk::clusterSize} + recordingEntry->startOffset();
    while (position < start) {
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(start - position, recordSize));
        if (readStream(recordBuffer.get(), piece) != piece) return false;
        position += piece;
    }
    return true;
}

const std::uint8_t* RipSource::nextRecord(std::uint8_t* spare) {
    return readStream(spare, recordSize) == recordSize ? spare : nullptr;
}

bool RipSource::handleRecord(const std::uint8_t* record, std::uint64_t position) {
    console().stepProgress();
    // The record at the very start of the stream is never examined or written.
    if (position == 0) return true;
    const std::uint32_t id = LittleEndian::load32(record);
    if (id == videoRecord && audioOnly) {
        if (!videoWarned) console().print("Audioquelle enthaelt Viediodaten!");
        videoWarned = true;
    } else if (id == videoRecord || id == audioRecord) {
        writePayload(id == videoRecord, record, position);
    }
    return RecordFormat::isRecordId(id);
}

void RipSource::writePayload(bool video, const std::uint8_t* record, std::uint64_t position) {
    const std::uint8_t* payload = record + (recordSize - payloadSize);
    const bool zeroed = zeroedWithin(position, recordSize);
    if (!(video ? output->video(payload, payloadSize, zeroed) : output->audio(payload, payloadSize, zeroed)))
        outputFailed = true;
}

void RipSource::resynchronise(std::uint64_t& position) {
    const auto damagedId = static_cast<std::int32_t>(LittleEndian::load32(recordBuffer.get()));
    const std::uint64_t damagedPosition = position;
    std::uint64_t skipped = 0;
    for (;;) {
        std::uint32_t offset = 0;
        if (findRecordId(offset)) {
            position += offset;
            skipped += offset;
            if (offset != 0) refill(bufferFill - offset);
            break;
        }
        position += bufferFill;
        skipped += bufferFill;
        bufferFill = readStream(recordBuffer.get(), recordSize);
        if (bufferFill == 0) break;
    }
    output->gap();
    console().printMessage(0, 101, TextFormat::format("Fehlerhafter Record mit der id %d bei Position %" PRIu64 "!",
                                                      damagedId, damagedPosition).c_str());
    console().print(TextFormat::format(" %" PRIu64 " Bytes uebersprungen.\n", skipped).c_str());
}

// Ids are looked for only in 4-byte steps from the damaged record's start.
bool RipSource::findRecordId(std::uint32_t& offset) const {
    for (offset = 0; offset + 4 <= bufferFill; offset += 4)
        if (RecordFormat::isRecordId(LittleEndian::load32(recordBuffer.get() + offset))) return true;
    return false;
}

// Moves the last `kept` bytes of the filled part to the front and fills up behind them.
void RipSource::refill(std::uint32_t kept) {
    std::uint8_t* buffer = recordBuffer.get();
    std::memmove(buffer, buffer + (bufferFill - kept), kept);
    bufferFill = kept + readStream(buffer + kept, recordSize - kept);
}
