#include "mpeg/PayloadInput.h"

#include <algorithm>
#include <cstring>

#include "mpeg/AudioParser.h"
#include "mpeg/ElementaryParser.h"
#include "mpeg/PesParser.h"
#include "mpeg/VideoParser.h"

namespace {
// Bytes looked at for the form; beyond that the oldest are let go (they were no start).
constexpr std::size_t windowSize = 256 * 1024;
constexpr std::size_t framesInARow = 3;
}  // namespace

PayloadInput::PayloadInput(bool video, ElementaryParser& parser) : video(video), parser(parser) {}

PayloadInput::~PayloadInput() = default;

void PayloadInput::feed(const std::uint8_t* bytes, std::size_t length) {
    if (length > 0) std::memcpy(room(length), bytes, length);
    filled(length);
}

std::uint8_t* PayloadInput::room(std::size_t length) {
    if (found == Form::Elementary) {
        lent = parser.room(length);
        return lent;
    }
    std::vector<std::uint8_t>& bytes = found == Form::Unknown ? window : staged;
    const std::size_t kept = found == Form::Unknown ? window.size() : 0;
    bytes.resize(kept + length);
    lent = bytes.data() + kept;
    return lent;
}

void PayloadInput::filled(std::size_t length) {
    if (!nonZero) nonZero = std::any_of(lent, lent + length, [](std::uint8_t b) { return b != 0; });
    if (found == Form::Elementary) {
        parser.filled(length);
        return;
    }
    if (found == Form::Packets) {
        packets->feed(lent, length);
        return;
    }
    detect(false);
    if (found == Form::Unknown && window.size() > windowSize) {
        const std::size_t dropped = window.size() - windowSize / 2;
        window.erase(window.begin(), window.begin() + static_cast<std::ptrdiff_t>(dropped));
        searched = searched > dropped ? searched - dropped : 0;
    }
}

void PayloadInput::hand(const std::uint8_t* bytes, std::size_t length) {
    if (packets)
        packets->feed(bytes, length);
    else
        parser.feed(bytes, length);
}

bool PayloadInput::packetStartAt(std::size_t position) const {
    if (position + 4 > window.size()) return false;
    const std::uint8_t* at = &window[position];
    if (at[0] != 0 || at[1] != 0 || at[2] != 1) return false;
    const std::uint8_t id = at[3];
    return id == 0xBA || (video ? (id >= 0xE0 && id <= 0xEF) : (id >= 0xC0 && id <= 0xDF));
}

bool PayloadInput::audioFramesAt(std::size_t position) const {
    AudioParser::Header first;
    AudioParser::Header header;
    for (std::size_t k = 0; k < framesInARow; ++k) {
        if (position + 4 > window.size() || !AudioParser::readHeader(&window[position], header)) return false;
        if (k == 0) first = header;
        if (header.layer != first.layer || header.sampleRate != first.sampleRate) return false;
        position += header.frameLength;
    }
    return true;
}

bool PayloadInput::recognise(std::size_t position) {
    if (packetStartAt(position)) {
        found = Form::Packets;
        packets.reset(new PesParser(video, parser));
    } else if (video ? VideoParser::isSequenceHeader(&window[position], window.size() - position)
                     : audioFramesAt(position)) {
        found = Form::Elementary;
    }
    return found != Form::Unknown;
}

void PayloadInput::detect(bool atEnd) {
    // Far enough from the end that a sequence header or three frames would be whole.
    const std::size_t reach = atEnd ? 1 : video ? 12 : 3 * 1729 + 4;
    while (searched + reach <= window.size() && !recognise(searched)) ++searched;
    if (found == Form::Unknown) return;
    hand(window.data() + searched, window.size() - searched);
    std::vector<std::uint8_t>().swap(window);
}

void PayloadInput::gap() {
    if (found == Form::Unknown) {
        window.clear();
        searched = 0;
        return;
    }
    if (packets)
        packets->gap();
    else
        parser.gap();
}

void PayloadInput::finish() {
    // A short stream: what the window holds is looked at to its end.
    if (found == Form::Unknown) detect(true);
    window.clear();
    if (packets)
        packets->finish();
    else if (found == Form::Elementary)
        parser.finish();
}
