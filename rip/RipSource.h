#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "fs/RecordFormat.h"

class DirEntry;
class HostFileName;
class RipOutput;

// One rip: reads a recording's stream of 8196-byte records from a source and writes the
// payloads of its video records (id 1) and audio records (id 2) into elementary-stream files,
// word-swapped back into the order a player expects. Records of ids 3, 4 and 10 are skipped;
// any other id marks a damaged record, behind which the rip finds its way back into the
// record sequence in 4-byte steps. The concrete sources say where the stream comes from.
//
// Outputs: audio mode writes <base>.mpa; movie mode <base>_video.pes and <base>_audio.pes.
// An export reads the same way and writes one file that players open instead: <base>.mpg (an
// MPEG program stream of video and sound) or, in audio mode, <base>.mp2.
class RipSource {
public:
    enum class Output { ElementaryStreams, Export };

    static constexpr std::uint32_t recordSize = RecordFormat::recordSize;
    static constexpr std::uint32_t payloadSize = RecordFormat::payloadSize;
    static constexpr std::uint32_t videoRecord = RecordFormat::videoRecord;
    static constexpr std::uint32_t audioRecord = RecordFormat::audioRecord;

    virtual ~RipSource();

    RipSource(const RipSource&) = delete;
    RipSource& operator=(const RipSource&) = delete;

    // Whether the source and all outputs of the mode are open.
    virtual bool isReady() const;
    // The whole rip, once per object: the start line, the progress meter with one step per
    // record, the outputs written and closed. False when the source is not ready or cannot be
    // opened, when the stream's start range cannot be read, when the stream ends at a read
    // failure, when zeros stood in for unreadable parts of it (after the outputs are written
    // to the stream's end), or when an output cannot be written (after its message; the rip
    // stops there and what was written stays).
    bool run();

protected:
    explicit RipSource(bool audioOnly, Output output = Output::ElementaryStreams);

    // The start line's first word.
    const char* verb() const { return outputKind == Output::Export ? "Exportieren" : "Rippen"; }
    // Creates the outputs of the mode from the base name; an output that cannot be created
    // has said so and leaves outputsReady false.
    void openOutputs(const HostFileName& baseName);
    bool outputsReady() const;

    // Identifies the recording (useEntry), prints the start line and gets the stream ready;
    // false after its message, if it has one.
    virtual bool openSource() = 0;
    // Up to `count` bytes of the stream (never more than one cluster's worth); fewer only
    // at its end, 0 once it has ended.
    virtual std::uint32_t readStream(void* buffer, std::uint32_t count) = 0;
    // Whether the stream ended at a read failure rather than at its end.
    virtual bool streamFailed() const { return false; }
    // Whether every byte of the stream came from the source; false after a message naming
    // where zeros stood in for bytes that could not be read.
    virtual bool streamWhole() { return true; }
    // Whether zeros stood in for unreadable sectors within the `length` bytes of the stream at
    // `position`.
    virtual bool zeroedWithin(std::uint64_t /*position*/, std::uint32_t /*length*/) const { return false; }
    // The next whole record of the stream, read into `spare`, or where the source already
    // holds it (valid until the next read); nullptr when no whole record is left.
    virtual const std::uint8_t* nextRecord(std::uint8_t* spare);

    // The recording's entry; it must outlive the run.
    void useEntry(const DirEntry& entry) { recordingEntry = &entry; }

private:
    bool skipStartRange(std::uint64_t& position);
    // Handles the record; false only for a damaged record.
    bool handleRecord(const std::uint8_t* record, std::uint64_t position);
    void writePayload(bool video, const std::uint8_t* record, std::uint64_t position);
    // Finds the next record behind the damaged one at `position` and reports the skip.
    void resynchronise(std::uint64_t& position);
    // The first offset in the filled part of the buffer that holds a record id.
    bool findRecordId(std::uint32_t& offset) const;
    void refill(std::uint32_t kept);

    const bool audioOnly;
    const Output outputKind;
    bool videoWarned = false;
    bool outputFailed = false;
    const DirEntry* recordingEntry = nullptr;
    std::unique_ptr<std::uint8_t[]> recordBuffer;
    std::uint32_t bufferFill = 0;  // bytes of the stream in recordBuffer
    std::unique_ptr<RipOutput> output;
};
