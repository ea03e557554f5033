#include "support/ToolRunner.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

#include "disk/DriveList.h"

namespace {
#ifdef _WIN32
const char driveSeparator = ';';
#else
const char driveSeparator = ':';
#endif
}  // namespace

std::string ToolRunner::drivesVariable(const std::vector<std::string>& drives) {
    std::string variable;
    for (std::size_t i = 0; i < drives.size(); ++i) {
        if (i != 0) variable += driveSeparator;
        variable += drives[i];
    }
    return variable;
}

ToolResult ToolRunner::run(const std::vector<std::string>& words, const std::vector<std::string>& drives,
                           const std::string& workFolder) {
    const std::string variable = drivesVariable(drives);
    return launch(words, &variable, workFolder);
}

ToolResult ToolRunner::runWithFileSizeLimit(const std::vector<std::string>& words,
                                            const std::vector<std::string>& drives, const std::string& workFolder,
                                            std::uint64_t fileSizeLimit) {
    if (!canLimitFileSize()) throw std::runtime_error("file sizes cannot be limited here");
    const std::string variable = drivesVariable(drives);
    return launch(words, &variable, workFolder, fileSizeLimit);
}

ToolResult ToolRunner::runOnMachineDrives(const std::vector<std::string>& words) {
    return launch(words, nullptr, std::string());
}

#ifndef _WIN32
bool ToolRunner::canLimitFileSize() { return true; }

ToolResult ToolRunner::launch(const std::vector<std::string>& words, const std::string* drivesVariable,
                              const std::string& workFolder, std::uint64_t fileSizeLimit) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) throw std::runtime_error("pipe");
    const pid_t child = fork();
    if (child < 0) throw std::runtime_error("fork");
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (!workFolder.empty() && chdir(workFolder.c_str()) != 0) _exit(127);
        if (fileSizeLimit != 0) {
            // A write past the limit then fails with EFBIG instead of ending the process.
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit = {static_cast<rlim_t>(fileSizeLimit), static_cast<rlim_t>(fileSizeLimit)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
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
    rusage usage = {};
    wait4(child, &status, 0, &usage);
    result.peakMemoryKiB = usage.ru_maxrss;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
#endif

#ifdef _WIN32
namespace {
// One word of a command line, quoted so that the C runtime of the child splits it back
// unchanged: backslashes count only in front of a quote.
std::string quoted(const std::string& word) {
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') backslashes = backslashes * 2 + 1;
        text.append(backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

// The built tool. Its build path is a POSIX path when the tests were cross-built and run
// under wine, whose Z: drive is the POSIX root.
std::string toolPath() {
    std::string path = VELMORAN_TOOL_PATH;
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// Sets or removes an environment variable of this process for the lifetime of the object;
// a child started meanwhile inherits it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string* value) : name(name) {
        const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
        if (needed > 0) {
            std::string old(needed, '\0');
            const DWORD length = GetEnvironmentVariableA(name, &old[0], needed);
            old.resize(length);
            previous.reset(new std::string(old));
        }
        SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
    }
    ~ScopedVariable() { SetEnvironmentVariableA(name, previous ? previous->c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name;
    std::unique_ptr<std::string> previous;
};

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : handle(handle) {}
    ~ScopedHandle() { close(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE get() const { return handle; }
    HANDLE* receive() { return &handle; }
    void close() {
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        handle = nullptr;
    }

private:
    HANDLE handle;
};
}  // namespace

bool ToolRunner::canLimitFileSize() { return false; }

ToolResult ToolRunner::launch(const std::vector<std::string>& words, const std::string* drivesVariable,
                              const std::string& workFolder, std::uint64_t) {
    // Commands may be started from several threads at once: each child must inherit its own
    // variable and pipe end, and no other thread's.
    static std::mutex starting;
    std::unique_lock<std::mutex> startingAlone(starting);
    SECURITY_ATTRIBUTES inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    ScopedHandle readEnd;
    ScopedHandle writeEnd;
    if (!CreatePipe(readEnd.receive(), writeEnd.receive(), &inheritable, 0)) throw std::runtime_error("pipe");
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    const std::string program = toolPath();
    std::string commandLine = quoted(program);
    for (const std::string& word : words) commandLine += " " + quoted(word);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child;
    {
        ScopedVariable drives(DriveList::variableName, drivesVariable);
        if (!CreateProcessA(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr,
                            workFolder.empty() ? nullptr : workFolder.c_str(), &startup, &child))
            throw std::runtime_error("cannot start " + program);
    }
    ScopedHandle process(child.hProcess);
    ScopedHandle thread(child.hThread);
    // Only the child holds the write end now: the reads below end when it exits.
    writeEnd.close();
    startingAlone.unlock();

    ToolResult result;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        result.output.append(chunk, got);
    WaitForSingleObject(process.get(), INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.get(), &status);
    result.status = static_cast<int>(status);
    return result;
}
#endif
