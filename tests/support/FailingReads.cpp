#include "support/FailingReads.h"

#ifdef __linux__
#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace {
std::string armedPath;
std::uint64_t armedGoodBytes = 0;

struct Cookie {
    std::FILE* file;
    std::uint64_t left;  // good bytes still to deliver
};

ssize_t readCookie(void* cookie, char* buffer, size_t size) {
    auto* stream = static_cast<Cookie*>(cookie);
    if (stream->left == 0) {
        errno = EIO;
        return -1;
    }
    const size_t got = std::fread(buffer, 1, std::min<std::uint64_t>(size, stream->left), stream->file);
    stream->left -= got;
    return static_cast<ssize_t>(got);
}

int closeCookie(void* cookie) {
    auto* stream = static_cast<Cookie*>(cookie);
    const int result = std::fclose(stream->file);
    delete stream;
    return result;
}

using Fopen = std::FILE* (*)(const char*, const char*);

Fopen libraryFopen() {
    static const Fopen next = reinterpret_cast<Fopen>(dlsym(RTLD_NEXT, "fopen"));
    return next;
}
}  // namespace

extern "C" std::FILE* fopen(const char* path, const char* mode) {
    std::FILE* file = libraryFopen()(path, mode);
    if (!file || armedPath.empty() || armedPath != path || mode[0] != 'r') return file;
    const cookie_io_functions_t functions{readCookie, nullptr, nullptr, closeCookie};
    return fopencookie(new Cookie{file, armedGoodBytes}, mode, functions);
}

FailingReads::FailingReads(const std::string& path, std::uint64_t goodBytes) {
    armedPath = path;
    armedGoodBytes = goodBytes;
}

FailingReads::~FailingReads() { armedPath.clear(); }
#else
FailingReads::FailingReads(const std::string&, std::uint64_t) {}
FailingReads::~FailingReads() = default;
#endif
