#include <gtest/gtest.h>

#include <string>

#include "base/TitleFileName.h"

namespace {
std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int k = 0; k < times; ++k) text += piece;
    return text;
}

TEST(TitleFileName, TitlesBecomeNamesThatWindowsAndLinuxTake) {
    constexpr std::size_t ending = 15;  // "_video.pes.part"
    struct Case {
        std::string title;
        std::string name;
    };
    const Case cases[] = {
        {"Tatort: Mord/Teil 2", "Velmoran_3 Tatort_ Mord_Teil 2"},
        {"Was? \"Nichts\" <3> | * \\", "Velmoran_3 Was_ _Nichts_ _3_ _ _ _"},
        {"Krimi\x07\x1B\x7F\x85" "Alarm", "Velmoran_3 Krimi____Alarm"},
        {"H\xF6rspiel f\xFCr Gro\xDF \xA0\xFF", "Velmoran_3 H\xC3\xB6rspiel f\xC3\xBCr Gro\xC3\x9F \xC2\xA0\xC3\xBF"},
        {"100% live. . ", "Velmoran_3 100% live"},
        {"", "Velmoran_3"},
        {" ...", "Velmoran_3"},
        {std::string(80, 'x'), "Velmoran_3 " + std::string(80, 'x')},
        // 211 umlauts are 422 bytes: cut before the character that would pass 255 with the ending.
        {repeated("\xE4", 211), "Velmoran_3 " + repeated("\xC3\xA4", 114)},
        // A cut that leaves a space at the end drops it too.
        {std::string(228, 'y') + " z", "Velmoran_3 " + std::string(228, 'y')},
    };
    for (const Case& c : cases) {
        const std::string name = TitleFileName::make("Velmoran_3", c.title, ending);
        EXPECT_EQ(c.name, name) << c.title;
        EXPECT_LE(name.size() + ending, TitleFileName::maxNameBytes) << c.title;
    }
}
}  // namespace
