#pragma once

#include <cstddef>
#include <cstdint>

#include "mpeg/ElementaryParser.h"
#include "mpeg/StreamBytes.h"

// MPEG-1/2 audio (layers I to III): frames found by their 12-bit sync and a header that reads
// as valid, each frame one unit. Its time is counted in samples at the header's sample rate
// (1152 samples a Layer II frame). The first frame fixes version, layer and sample rate;
// frames of another kind are dropped and counted. A frame is found again after damage only
// where the next one follows it.
class AudioParser : public ElementaryParser {
public:
    struct Header {
        int version = 0;  // 1 or 2
        int layer = 0;    // 1 to 3
        std::uint32_t sampleRate = 0;
        std::uint32_t frameLength = 0;
        std::uint32_t samples = 0;
    };
    // The header of a frame at `bytes` (four bytes), false when none begins there.
    static bool readHeader(const std::uint8_t* bytes, Header& header);

    AudioParser(AccessUnitSink& sink, Timeline& timeline, BufferPool& pool);
    ~AudioParser() override;

    std::uint8_t* room(std::size_t length) override;
    void filled(std::size_t length) override;
    void gap() override;
    void finish() override;

private:
    static bool sameKind(const Header& a, const Header& b);
    // Works through the pending bytes as far as they allow; at the end of the stream a frame
    // whose successor cannot be checked is taken as it is.
    void parse(bool atEnd);
    bool findFrame(std::size_t& position, bool atEnd) const;
    void emit(std::size_t position, const Header& header);

    StreamBytes pending;
    std::uint64_t pendingStart = 0;  // stream position of pending[0]
    bool synced = false;
    bool kindKnown = false;
    Header kind;
};
