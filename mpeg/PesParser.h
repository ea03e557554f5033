#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class ElementaryParser;

// Takes the packets of one stream out of a sequence of PES packets (and of packs, system
// headers and padding, should they be there) and hands their payload, with their time stamps,
// to the stream's parser: video packets (stream ids E0 to EF) or audio packets (C0 to DF), of
// the first stream id of that kind it meets. A video packet of length 0 runs up to the next
// packet start code. Zeros and other bytes between packets are passed over.
class PesParser {
public:
    // The stamps of a PES packet, 33 bits each.
    struct Stamps {
        bool hasPts = false;
        bool hasDts = false;
        std::uint64_t pts = 0;
        std::uint64_t dts = 0;
    };

    // The length of the pack header, system header or PES packet that begins at `bytes` with its
    // start code; 0 when none does, when `available` bytes do not tell it yet (a pack header
    // needs 5 or 14, a packet 6), and for a packet of open length.
    static std::size_t unitLength(const std::uint8_t* bytes, std::size_t available);
    // Reads the header of the PES packet at `bytes` (MPEG-2 or MPEG-1 form): its stamps, and
    // where its payload begins; 0 while `available` bytes do not hold the header whole.
    static std::size_t readHeader(const std::uint8_t* bytes, std::size_t available, Stamps& stamps);

    PesParser(bool video, ElementaryParser& parser);

    void feed(const std::uint8_t* bytes, std::size_t length);
    // Bytes are missing in front of the next byte fed.
    void gap();
    void finish();

private:
    enum class State { Seeking, Header, Payload, OpenPayload, Skipping };

    void seek(const std::uint8_t*& bytes, const std::uint8_t* end);
    void gatherHeader(const std::uint8_t*& bytes, const std::uint8_t* end);
    // The packet whose first bytes are in `header`: what to do with it, once enough is there.
    bool readPacketHeader();
    static std::size_t packHeaderLength(const std::uint8_t* bytes, std::size_t available);
    static bool readStamp(const std::uint8_t* field, std::uint64_t& value);
    void passPayload(const std::uint8_t*& bytes, const std::uint8_t* end);
    void passOpenPayload(const std::uint8_t*& bytes, const std::uint8_t* end);
    bool isOurs(std::uint8_t id);

    const bool video;
    ElementaryParser& parser;
    State state = State::Seeking;
    std::vector<std::uint8_t> header;
    std::uint32_t zeros = 0;          // zero bytes seen in front of the next byte while seeking
    std::uint64_t remaining = 0;      // payload or skipped bytes left in the packet
    std::uint8_t carry[4] = {};       // an open payload's end that may begin a start code
    std::uint32_t carrySize = 0;
    int streamId = -1;
};
