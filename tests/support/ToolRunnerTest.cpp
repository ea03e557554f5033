// The runner hands the tool its words and drives exactly; on Windows it quotes the command
// line and sets the drive variable for the child only.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "support/ToolRunner.h"

namespace {
// The drive variable as a child started now would inherit it.
std::string drivesVariable() {
#ifdef _WIN32
    char value[1024];
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA("VELMORAN_DRIVES", value, sizeof value);
    return length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND ? "(unset)" : std::string(value, length);
#else
    const char* value = std::getenv("VELMORAN_DRIVES");
    return value ? value : "(unset)";
#endif
}

void setDrivesVariable(const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA("VELMORAN_DRIVES", value);
#else
    if (value)
        setenv("VELMORAN_DRIVES", value, 1);
    else
        unsetenv("VELMORAN_DRIVES");
#endif
}

TEST(ToolRunner, WordsReachTheToolUnchanged) {
    for (const std::string word : {"two words", "say \"hi\"", "trailing\\", "back\\\\\"slash", "tab\there", ""}) {
        const ToolResult result = ToolRunner::run({"movie", word, "3"}, {""});
        EXPECT_EQ("Angabe " + word + " unzulaessig!\n", result.output) << word;
        EXPECT_EQ(1, result.status);
    }
}

TEST(ToolRunner, AnEmptyEntryIsNoDriveAndTheVariableStaysWithTheChild) {
    const std::string previous = drivesVariable();
    setDrivesVariable("this run's own value");
    const ToolResult result = ToolRunner::run({"list"}, {""});
    EXPECT_NE(std::string::npos, result.output.find("\nDivice 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 nicht vorhanden!\n"));
    EXPECT_EQ(1, result.status);
    EXPECT_EQ("this run's own value", drivesVariable());
    setDrivesVariable(previous == "(unset)" ? nullptr : previous.c_str());
}
}  // namespace
