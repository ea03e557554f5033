#include "base/HostFileName.h"

#ifdef _WIN32
#include <windows.h>
#endif

HostFileName::HostFileName(const std::string& name) : HostFileName(name, Encoding::systemCodePage, false) {}

HostFileName::HostFileName(const std::string& name, Encoding encoding, bool staged)
    : ownName(name), encoding(encoding), staged(staged), written(staged ? name + stagingSuffix : name) {}

HostFileName HostFileName::withSuffix(const std::string& suffix) const {
    return HostFileName(ownName + suffix, encoding, staged);
}

#ifdef _WIN32
namespace {
std::wstring wide(const std::string& utf8) {
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    if (length > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &text[0], length);
    return text;
}
}  // namespace

std::FILE* HostFileName::open(const char* mode) const {
    if (encoding == Encoding::utf8) return _wfopen(wide(written).c_str(), wide(mode).c_str());
    return std::fopen(written.c_str(), mode);
}

bool HostFileName::publish() const {
    if (!staged) return true;
    if (encoding == Encoding::utf8)
        return MoveFileExW(wide(written).c_str(), wide(ownName).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    return MoveFileExA(written.c_str(), ownName.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool HostFileName::remove() const {
    if (encoding == Encoding::utf8) return _wremove(wide(ownName).c_str()) == 0;
    return std::remove(ownName.c_str()) == 0;
}
#else
std::FILE* HostFileName::open(const char* mode) const { return std::fopen(written.c_str(), mode); }

bool HostFileName::publish() const { return !staged || std::rename(written.c_str(), ownName.c_str()) == 0; }

bool HostFileName::remove() const { return std::remove(ownName.c_str()) == 0; }
#endif
