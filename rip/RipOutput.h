#pragma once

#include <cstdint>

// Where a rip puts the payloads of a recording's video and audio records: the elementary-stream
// files of the rip, or an export into one MPEG file.
class RipOutput {
public:
    virtual ~RipOutput() = default;

    // Whether every file of the output is open.
    virtual bool isOpen() const = 0;
    // A payload as the record holds it (its 4-byte groups reversed). `zeroed`: zeros stood in
    // for unreadable sectors somewhere in the record. False once a write has failed (after its
    // message).
    virtual bool video(const std::uint8_t* stored, std::uint32_t length, bool zeroed) = 0;
    virtual bool audio(const std::uint8_t* stored, std::uint32_t length, bool zeroed) = 0;
    // Bytes of both streams may be missing here: a damaged record was passed over, or the stream
    // was cut.
    virtual void gap() {}
    // Writes out the rest and closes the files: true when every byte reached them and the
    // output is what it should be (after a message when not).
    virtual bool close() = 0;
    // The stream ended at a read failure: the output keeps what it has, as whole as it can.
    virtual void closeAfterFailure() {}
};
