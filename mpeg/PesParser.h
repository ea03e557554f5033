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
    bool readStamps(const std::uint8_t* field, std::uint64_t& value) const;
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
