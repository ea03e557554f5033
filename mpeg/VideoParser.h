#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

#include "mpeg/ElementaryParser.h"
#include "mpeg/StreamBytes.h"

// MPEG-1/2 video: finds the start codes, reads the sequence header (frame rate), the sequence
// and picture coding extensions (progressive_sequence, picture_structure, top_field_first,
// repeat_first_field), the GOP header and the picture header (temporal_reference, picture
// type), and gives each coded picture, with the headers in front of it, as one unit; the two
// fields of a frame coded as field pictures are one unit. Pictures are never decoded.
//
// Times: decode order gives the DTS, counted in fields; an I or P picture is shown at the DTS
// of the next I or P picture, a B picture at its DTS. A counted stream starts so that its
// first picture is shown at 0. After damage the stream resumes at an I picture behind a
// sequence or GOP header; the B pictures behind it that refer to a picture before it (those of
// an open GOP or a broken link) are dropped.
class VideoParser : public ElementaryParser {
public:
    // A unit larger than the decoder's buffer of main profile at main level cannot be decoded.
    static constexpr std::size_t largestUnit = 224 * 1024;

    VideoParser(AccessUnitSink& sink, Timeline& timeline, BufferPool& pool);
    ~VideoParser() override;

    std::uint8_t* room(std::size_t length) override;
    void filled(std::size_t length) override;
    void gap() override;
    void finish() override;

    bool sawSequenceHeader() const { return sequenceSeen; }
    // Whether a valid sequence header begins at `bytes` (the four bytes of its start code and
    // `available` bytes in all).
    static bool isSequenceHeader(const std::uint8_t* bytes, std::size_t available);
    // The frames a second that the time codes of the sequence whose header begins at `bytes`
    // count: its frame rate, rounded (30 for 30000/1001); 0 when no valid header begins there.
    static std::uint32_t timeCodeRate(const std::uint8_t* bytes, std::size_t available);
    // The time code of the GOP header at `bytes` (its start code included) in ticks of the
    // 90 kHz clock from 00:00:00:00, its pictures counted at `framesPerSecond`; false when no
    // GOP header with a valid time code begins there.
    static bool gopTime(const std::uint8_t* bytes, std::size_t available, std::uint32_t framesPerSecond,
                        std::int64_t& ticks);

private:
    struct UnitInfo {
        bool begun = false;
        bool sequence = false;
        bool gop = false;
        bool closedGop = false;
        bool brokenLink = false;
        bool picture = false;
        bool secondField = false;
        int type = 0;
        int structure = 3;
        bool repeatFirstField = false;
        bool topFieldFirst = false;
        std::size_t pictureOffset = 0;
    };
    struct Sequence {
        bool known = false;
        bool mpeg2 = false;
        bool progressive = false;
        bool lowDelay = false;
        std::int64_t baseNumerator = 25, baseDenominator = 1;
        std::int64_t numerator = 25, denominator = 1;
    };

    void scan(bool atEnd);
    bool findStartCode(std::size_t from, std::size_t& offset) const;
    std::size_t handle(std::size_t offset, std::uint8_t code);
    std::size_t beginUnit(std::size_t offset);
    void readSequenceHeader(const std::uint8_t* header);
    void readExtension(const std::uint8_t* header);
    std::size_t withoutTrailingZeros(std::size_t from, std::size_t end) const;
    void completeUnit(std::size_t end);
    void acceptPicture(AccessUnit& unit, const UnitInfo& info, std::uint64_t picturePosition);
    bool mayShow(const UnitInfo& info);
    std::int64_t fieldsOf(const UnitInfo& info) const;
    void hold(AccessUnit& unit, bool waitsForShowTime);
    void resolveAnchor(std::int64_t showTime);
    void dropCurrent();

    StreamBytes current;
    std::uint64_t currentStart = 0;  // stream position of current[0]
    std::size_t scanPos = 0;
    UnitInfo unit;
    Sequence sequence;
    bool sequenceSeen = false;
    bool waitingForResume = true;
    bool dropLeadingB = false;
    std::deque<AccessUnit> held;  // in decode order; the first one waits for its show time
    bool anchorWaits = false;
};
