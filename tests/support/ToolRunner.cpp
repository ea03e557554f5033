#include "support/ToolRunner.h"

#include <cstdlib>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "disk/DriveList.h"

namespace {
#ifdef _WIN32
const char driveSeparator = ';';
#else
const char driveSeparator = ':';
#endif
}  // namespace

ToolResult ToolRunner::run(const std::vector<std::string>& words, const std::vector<std::string>& drives,
                           const std::string& workFolder) {
    std::string variable;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (i != 0) variable += driveSeparator;
        variable += drives[i];
    }
    return launch(words, &variable, workFolder);
}

ToolResult ToolRunner::runOnMachineDrives(const std::vector<std::string>& words) {
    return launch(words, nullptr, std::string());
}

#ifndef _WIN32
ToolResult ToolRunner::launch(const std::vector<std::string>& words, const std::string* drivesVariable,
                              const std::string& workFolder) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (!workFolder.empty() && chdir(workFolder.c_str()) != 0) _exit(127);
        if (drivesVariable)
            setenv(DriveList::variableName, drivesVariable->c_str(), 1);
        else
            unsetenv(DriveList::variableName);
        std::vector<char*> argv;
        std::string program = VELMORAN_TOOL_PATH;
        argv.push_back(&program[0]);
        std::vector<std::string> copies(words);
        for (std::string& word : copies) argv.push_back(&word[0]);
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    ToolResult result;
    char chunk[65536];
    for (;;) {
        const ssize_t got = read(pipeEnds[0], chunk, sizeof chunk);
        if (got <= 0) break;
        result.output.append(chunk, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
#endif
