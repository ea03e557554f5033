#include "FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {
struct Spare {
    std::unique_ptr<char[]> buffer;
    std::size_t capacity;
};

// The buffers of the files an input compared, for the next input's files.
std::vector<Spare>& spares() {
    static std::vector<Spare> kept;
    return kept;
}

std::size_t readAll(int descriptor, char* into, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t count = read(descriptor, into + done, length - done);
        if (count <= 0) break;
        done += static_cast<std::size_t>(count);
    }
    return done;
}
}  // namespace

FileBytes::FileBytes(const std::string& name) {
    const int descriptor = open(name.c_str(), O_RDONLY);
    if (descriptor < 0) return;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && status.st_size > 0) {
        const auto size = static_cast<std::size_t>(status.st_size);
        if (!spares().empty()) {
            buffer = std::move(spares().back().buffer);
            capacity = spares().back().capacity;
            spares().pop_back();
        }
        if (capacity < size) {
            buffer.reset(new char[size]);
            capacity = size;
        }
        length = readAll(descriptor, buffer.get(), size);
    }
    close(descriptor);
}

FileBytes::~FileBytes() {
    if (buffer) spares().push_back({std::move(buffer), capacity});
}
