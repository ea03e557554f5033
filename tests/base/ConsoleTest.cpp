#include <gtest/gtest.h>

#include <string>

#include "base/Console.h"
#include "base/TextFormat.h"

namespace {
// Runs one meter on a fresh console and returns what it printed.
std::string meter(std::uint64_t total, std::uint64_t steps) {
    Console console(stdout);
    testing::internal::CaptureStdout();
    console.startProgress(total);
    for (std::uint64_t i = 0; i < steps; ++i) console.stepProgress();
    console.finishProgress();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

const std::string fullRun =
    ".........10.........20.........30.........40.........50\n"
    ".........60.........70.........80.........90.........100\n";

TEST(Console, TextsPassUnchanged) {
    Console console(stdout);
    testing::internal::CaptureStdout();
    console.print("100% %s %d\n");
    console.printMessage(2, 513, "Angabe %n unzulaessig!\n");
    console.print("Datei ist keine g\xFCltige");
    std::fflush(stdout);
    EXPECT_EQ("100% %s %d\nAngabe %n unzulaessig!\nDatei ist keine g\xFCltige", testing::internal::GetCapturedStdout());
}

TEST(Console, MeterRunToTheEnd) {
    EXPECT_EQ(fullRun, meter(1000, 1000));
    EXPECT_EQ(fullRun, meter(2000, 2000));
    EXPECT_EQ(fullRun, meter(101, 101));
    EXPECT_EQ(".........10.........20.........30.........40.........50\n"
              ".........60.........70.........80.........90........100\n",
              meter(99, 99));
    EXPECT_EQ(".........10.........40.........70.........100\n", meter(37, 37));
    EXPECT_EQ("......100\n", meter(7, 7));
    EXPECT_EQ("..100\n", meter(3, 3));
}

TEST(Console, TotalsWhoseStepsNeverTickPrintNothing) {
    for (std::uint64_t total : {100u, 50u, 25u, 20u, 10u, 5u, 4u, 2u, 1u}) EXPECT_EQ("", meter(total, total)) << total;
}

TEST(Console, MeterStoppedEarlyOrRunPastItsTotal) {
    EXPECT_EQ(".........10.........40.....100\n", meter(37, 20));
    EXPECT_EQ(".100\n", meter(1000, 1));
    // One step beyond the total prints the final percentage itself.
    EXPECT_EQ(fullRun, meter(1000, 1001));
}

TEST(Console, MeterWithoutTotalStaysSilent) {
    EXPECT_EQ("", meter(0, 0));
    EXPECT_EQ("", meter(0, 5));
}

TEST(Console, SecondMeterCountsOnFromTheFirst) {
    Console console(stdout);
    testing::internal::CaptureStdout();
    console.startProgress(1000);
    for (int i = 0; i < 1006; ++i) console.stepProgress();
    console.finishProgress();
    std::fflush(stdout);
    EXPECT_EQ(fullRun, testing::internal::GetCapturedStdout());

    testing::internal::CaptureStdout();
    console.startProgress(1000);
    for (int i = 0; i < 1000; ++i) console.stepProgress();
    console.finishProgress();
    std::fflush(stdout);
    EXPECT_EQ(".........110.........120.........130.........140.........150\n"
              ".........160.........170.........180.........190.........200\n",
              testing::internal::GetCapturedStdout());
}

TEST(Console, ASecondMeterStartsWithoutTheMarksOfTheFirst) {
    Console console(stdout);
    testing::internal::CaptureStdout();
    console.startProgress(3);
    console.stepProgress();  // one mark pending
    console.finishProgress();
    console.startProgress(1000);
    for (int i = 0; i < 199; ++i) console.stepProgress();
    console.finishProgress();
    std::fflush(stdout);
    EXPECT_EQ(".100\n.........10.........100\n", testing::internal::GetCapturedStdout());
}

TEST(TextFormat, GrowsWithItsValues) {
    const std::string longName(5000, 'x');
    EXPECT_EQ("Datei " + longName + " konnte nicht geoeffnet werden!\n",
              TextFormat::format("Datei %s konnte nicht geoeffnet werden!\n", longName.c_str()));
    EXPECT_EQ("", TextFormat::format("%s", ""));
    for (std::size_t length : {254u, 255u, 256u, 257u})
        EXPECT_EQ(std::string(length, 'y'), TextFormat::format("%s", std::string(length, 'y').c_str()));
}
}  // namespace
