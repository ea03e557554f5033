#include "support/FailingCloses.h"

#ifdef __linux__
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace {
std::string armedPath;  // absolute, as /proc shows it

using Fclose = int (*)(std::FILE*);

Fclose libraryFclose() {
    static const Fclose next = reinterpret_cast<Fclose>(dlsym(RTLD_NEXT, "fclose"));
    return next;
}

bool isArmed(std::FILE* file) {
    if (armedPath.empty()) return false;
    const int descriptor = fileno(file);
    if (descriptor < 0) return false;
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length > 0 && armedPath.compare(0, std::string::npos, target, std::size_t(length)) == 0;
}
}  // namespace

extern "C" int fclose(std::FILE* file) {
    const bool fail = isArmed(file);
    const int result = libraryFclose()(file);
    if (!fail) return result;
    errno = EIO;
    return EOF;
}

FailingCloses::FailingCloses(const std::string& path) {
    armedPath = std::filesystem::weakly_canonical(std::filesystem::absolute(path)).string();
}

FailingCloses::~FailingCloses() { armedPath.clear(); }

bool FailingCloses::available(std::string*) { return true; }
#else
FailingCloses::FailingCloses(const std::string&) {}
FailingCloses::~FailingCloses() = default;

bool FailingCloses::available(std::string* reason) {
    *reason = "closes can be made to fail only on Linux";
    return false;
}
#endif
