#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class ElementaryParser;
class PesParser;

// The payload bytes of one of a recording's streams, told apart by what they hold: an
// elementary stream (video from a valid sequence header, audio from three frames in a row) or
// PES packets (a packet start code of the stream's kind, or of a pack). Until the data say
// which, they are looked at in a window of limited size; bytes in front of what was found are
// passed over.
class PayloadInput {
public:
    enum class Form { Unknown, Elementary, Packets };

    PayloadInput(bool video, ElementaryParser& parser);
    ~PayloadInput();

    PayloadInput(const PayloadInput&) = delete;
    PayloadInput& operator=(const PayloadInput&) = delete;

    void feed(const std::uint8_t* bytes, std::size_t length);
    // Room for the next `length` bytes, to be written there and handed on with filled(length):
    // the same as feeding them, and once the stream is known to be elementary, without a copy.
    std::uint8_t* room(std::size_t length);
    void filled(std::size_t length);
    void gap();
    void finish();

    // Whether any byte other than zero came in: a stream that holds something.
    bool sawData() const { return nonZero; }

private:
    // Looks for the form from where the last look stopped; the bytes from there go on.
    void detect(bool atEnd);
    bool recognise(std::size_t position);
    void hand(const std::uint8_t* bytes, std::size_t length);
    bool packetStartAt(std::size_t position) const;
    bool audioFramesAt(std::size_t position) const;

    const bool video;
    ElementaryParser& parser;
    std::unique_ptr<PesParser> packets;
    Form found = Form::Unknown;
    bool nonZero = false;
    std::vector<std::uint8_t> window;
    std::size_t searched = 0;
    std::vector<std::uint8_t> staged;  // bytes for the packet parser
    std::uint8_t* lent = nullptr;      // the room handed out last
};
