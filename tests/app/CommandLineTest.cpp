// The front end as a user meets it: the built tool run as a process on disk-image files.
#include <gtest/gtest.h>

#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "app/DiskTool.h"
#include "support/TempDir.h"
#include "support/ToolRunner.h"

namespace {
const std::string version = "VelmoranDisk Version 0.9.6\n";

const std::string helpCommon =
    "VelmoranDisk Version 0.9.6\n"
    "VelmoranDisk Version 0.9.8\n"
    "\n"
    "  Nutzbar auf Win9x/Me und Win2k/XP\n"
    "  Verwendung auf eigene Gefahr !\n"
    "\n"
    "  list  Ausgabe des Inhaltsverzeichnis\n"
    "\n"
    "  movie|audio save <nr> | load <dateiname> | delete <nr> | rip <nr>|<dateiname>\n"
    "    save             Auslesen der Aufnahme <nr> in die \n"
    "                     Sicherungsdatei Velmoran_<nr>.vlm\n"
    "    load             Laden der Aufnahme aus <dateiname>\n"
    "    delete           Loeschen der Aufnahme <nr>\n"
    "    rip <nr>         Rippen der Aufnahme <nr>\n"
    "                     bei movie: nach Velmoran_<nr>_video/audio.pes\n"
    "                     bei audio: nach Velmoran_<nr>.mpa\n"
    "    rip <dateiname>  Rippen der Sicherungsdatei <dateiname>\n"
    "                     bei movie: nach <dateiname>_video/audio.pes\n"
    "                     bei audio: nach <dateiname>.mpa\n"
    "    export <nr>|<dateiname>\n"
    "                     Export in eine MPEG-Datei, die Player abspielen\n"
    "                     bei movie: nach Velmoran_<nr>.mpg bzw. <dateiname>.mpg\n"
    "                     bei audio: nach Velmoran_<nr>.mp2 bzw. <dateiname>.mp2\n"
    "    save all         Auslesen aller Aufnahmen in die Sicherungsdateien\n"
    "                     Velmoran_<nr> <titel>.vlm\n"
    "    rip all          Rippen aller Aufnahmen\n"
    "                     bei movie: nach Velmoran_<nr> <titel>_video/audio.pes\n"
    "                     bei audio: nach Velmoran_<nr> <titel>.mpa\n"
    "    export all       Export aller Aufnahmen\n"
    "                     bei movie: nach Velmoran_<nr> <titel>.mpg\n"
    "                     bei audio: nach Velmoran_<nr> <titel>.mp2\n"
    "\n"
    "  check  Pruefung von Belegungstabelle und Inhaltsverzeichnis\n"
    "  check repair\n"
    "        Pruefung und Behebung der ohne Verlust behebbaren Fehler\n"
    "\n"
    "  recover [save <nr>|all]\n"
    "    recover          Liste der geloeschten und verlorenen Aufnahmen\n"
    "    save <nr>|all    Sichern der Aufnahme <nr> bzw. aller in die\n"
    "                     Sicherungsdatei Velmoran_recovered_<nr>.vlm\n"
    "\n";

const std::string shortHelp = helpCommon + "    ?                erweiterte Hilfe\n" + "\n";

const std::string extendedHelp = helpCommon +
                                 "Zur Entwicklungsunterstuetzung\n"
                                 "\n"
                                 "  image save | load | wipe | format\n"
                                 "        Auslesen des Festplatteninhalt in die Datei Velmoran.img\n"
                                 "        Laden des Festplatteninhalts aus Datei Velmoran.img\n"
                                 "        Ueberschreiben des Festplatteninhalts mit 0x00 an allen Stellen\n"
                                 "        Formatierung (inkl. wipe) der Festplatte\n"
                                 "\n"
                                 "  dump  <start> [<laenge>] [bigendian|littlendian]\n"
                                 "        Ausgabe des Platteninhalts ab Position in der Lange\n"
                                 "        Start und Laenge als HEX-Werte\n"
                                 "        Laenge: Default = 0xFF (265 Bytes / 1 Sector)\n"
                                 "        Format der Platte: bigendian (default) | littlendian\n"
                                 "\n";

const std::string noDiskMessage = "Keine Festplatte mit der Identifikation \"velmoran hd V1.02\" vorhanden!\n";

// A drive list whose only entry cannot be opened: any command that probes says so first.
const std::vector<std::string> noDrives = {""};

class CommandLineTest : public ::testing::Test {
protected:
    TempDir temp;
    std::string disk() { return temp.makeImage("disk.img", 16u << 20, true); }
    std::string plainDrive(const std::string& name) { return temp.makeImage(name, 1u << 20, false); }
};

TEST_F(CommandLineTest, HelpTextsAndUnknownWordsExitWithOne) {
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
             {}, {"help"}, {"DUMP", "0"}, {"listing"}, {""}}) {
        const ToolResult result = ToolRunner::run(words, noDrives);
        EXPECT_EQ(shortHelp, result.output) << (words.empty() ? "(none)" : words[0]);
        EXPECT_EQ(1, result.status);
    }
    for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"?"}, {"?", "list"}}) {
        const ToolResult result = ToolRunner::run(words, noDrives);
        EXPECT_EQ(extendedHelp, result.output);
        EXPECT_EQ(1, result.status);
    }
}

TEST_F(CommandLineTest, ChecksBeforeTheDiskNeverProbeTheDrives) {
    struct Case {
        std::vector<std::string> words;
        std::string output;
    };
    const Case cases[] = {
        {{"movie"}, "Angabe save, load, delete bzw. rip fehlt\n"},
        {{"audio"}, "Angabe save, load, delete bzw. rip fehlt\n"},
        {{"audio", "rip"}, "Angabe <nr> oder <dateiname> fehlt\n"},
        {{"movie", "copy", "3"}, "Angabe copy unzulaessig!\n"},
        {{"movie", "%s%n"}, "Angabe %s%n unzulaessig!\n"},
        {{"movie", "Save", "3"}, "Angabe Save unzulaessig!\n"},
    };
    for (const Case& c : cases) {
        const ToolResult result = ToolRunner::run(c.words, noDrives);
        EXPECT_EQ(c.output, result.output) << c.words[0] << " " << c.words[1 % c.words.size()];
        EXPECT_EQ(1, result.status);
    }
}

TEST_F(CommandLineTest, ArgumentChecksAfterTheDiskWasFound) {
    struct Case {
        std::vector<std::string> words;
        std::string output;
    };
    const Case cases[] = {
        {{"dump"}, "Angabe der Startposition fehlt\n"},
        {{"image"}, "Angabe save, load bzw. wipe fehlt\n"},
        {{"image", "copy"}, "Angabe copy unzulaessig!\n"},
        {{"image", "100%"}, "Angabe 100% unzulaessig!\n"},
        {{"movie", "save"}, "Angabe <nr> fehlt\n"},
        {{"audio", "delete"}, "Angabe <nr> fehlt\n"},
        {{"movie", "load"}, "Angabe <dateiname> fehlt\n"},
    };
    const std::string image = disk();
    for (const Case& c : cases) {
        const ToolResult result = ToolRunner::run(c.words, {image});
        EXPECT_EQ(c.output, result.output) << c.words[0];
        EXPECT_EQ(1, result.status);
    }
}

TEST_F(CommandLineTest, WithoutTheRecorderDiskEveryDiskCommandPrintsTheReportAndFails) {
    const std::vector<std::vector<std::string>> commands = {
        {"dump"},          {"dump", "0"},         {"list"},          {"image"},
        {"image", "wipe"}, {"movie", "save"},     {"audio", "delete", "3"},
        {"movie", "load"}, {"movie", "rip", "3"}, {"audio", "rip", "00"},
    };
    const std::string drive = plainDrive("plain.img");
    const std::string zeroLine = "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ................\n";
    const std::string expectedStart = noDiskMessage + "\n" + version + "\n" + "Diagnose der vorhanden Festplatten\n" +
                                      "\nDivice 0\n" + "00000000  " + zeroLine + "00000010  " + zeroLine +
                                      "\nDivice 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 nicht vorhanden!\n\n";
    // Between them come the lines of this machine's own volumes.
    const std::string expectedEnd = "\nWIN2K\n";
    for (const std::vector<std::string>& words : commands) {
        const ToolResult result = ToolRunner::run(words, {drive});
        ASSERT_GE(result.output.size(), expectedStart.size() + expectedEnd.size()) << words[0];
        EXPECT_EQ(expectedStart, result.output.substr(0, expectedStart.size())) << words[0];
        EXPECT_EQ(expectedEnd, result.output.substr(result.output.size() - expectedEnd.size())) << words[0];
        EXPECT_EQ(1, result.status);
    }
}

TEST_F(CommandLineTest, TheFirstSignedDriveIsTheRecorderDisk) {
    const std::string unsigned0 = plainDrive("d0.img");
    const std::string signed2 = disk();
    // Drive 1 does not exist: the probe passes over it.
    const ToolResult found = ToolRunner::run({"image"}, {unsigned0, temp.file("missing.img"), signed2});
    EXPECT_EQ("Angabe save, load bzw. wipe fehlt\n", found.output);

    // Of two signed drives the lower-numbered one is used: the dump shows its mark.
    const std::string signed1 = temp.makeImage("s1.img", 1u << 20, true);
    const std::string signed3 = temp.makeImage("s3.img", 1u << 20, true);
    TempDir::writeAt(signed1, 512, "drive one.......", 16);
    TempDir::writeAt(signed3, 512, "drive three.....", 16);
    const ToolResult lower = ToolRunner::run({"dump", "200", "10", "littlendian"}, {unsigned0, signed1, signed3});
    EXPECT_NE(std::string::npos, lower.output.find("drive one")) << lower.output.substr(0, 80);
    EXPECT_EQ(std::string::npos, lower.output.find("drive three"));

    // A non-zero byte after the signature text is another disk.
    const std::string almost = temp.makeImage("almost.img", 1u << 20, true);
    const char one = 1;
    TempDir::writeAt(almost, 17, &one, 1);
    const ToolResult notFound = ToolRunner::run({"image"}, {almost});
    EXPECT_EQ(noDiskMessage, notFound.output.substr(0, noDiskMessage.size()));
    EXPECT_EQ(1, notFound.status);
}

TEST_F(CommandLineTest, UsersWithoutRightsToTheMachineDrivesSeeNoDisk) {
#ifndef _WIN32
    // The tool opens drives for reading and writing; a test never does that to a real disk.
    if (geteuid() == 0) GTEST_SKIP() << "run as root, the tool would open this machine's own disks for writing";
#endif
    const ToolResult result = ToolRunner::runOnMachineDrives({"list"});
    EXPECT_EQ(1, result.status);
    if (result.output.find(noDiskMessage) == std::string::npos)
        GTEST_SKIP() << "a drive of this machine carries the recorder's signature";
    EXPECT_EQ(0u, result.output.find(noDiskMessage));
}

TEST(RipWord, NumbersAndFileNames) {
    for (const char* number : {"0", "00", "7", "07", "12abc", " 3", "+4", "-2"})
        EXPECT_TRUE(DiskTool::isRecordingNumber(number)) << number;
    for (const char* name : {"000", "-0", "film", "film.vlm", "", "+0", "0x"})
        EXPECT_FALSE(DiskTool::isRecordingNumber(name)) << name;
}
}  // namespace
