#pragma once

#include <cstdio>
#include <string>

// The name of a file on the PC and how the system is to be asked for it. A name from the
// command line is in the system's code page (on Windows the ANSI one) and goes to the system
// as it came. A name the tool makes from a recording's title is UTF-8 and goes to Windows
// through the wide-character calls, so that an umlaut is one in Explorer as in `ls`; on POSIX
// systems both are the bytes as they are. A staged file is written as <name>.part and takes
// its own name only when it is whole (publish), so that a file of that name is always complete.
class HostFileName {
public:
    enum class Encoding { systemCodePage, utf8 };
    static constexpr char stagingSuffix[] = ".part";

    // A name in the system's code page, written in place; implicit, so that every caller that
    // names a file by a plain string goes on doing so.
    HostFileName(const std::string& name);
    HostFileName(const char* name) : HostFileName(std::string(name)) {}
    HostFileName(const std::string& name, Encoding encoding, bool staged);

    // The file's own name, and the one its bytes go to while it is written.
    const std::string& name() const { return ownName; }
    const std::string& writtenName() const { return written; }
    // The same kind of name with `suffix` behind it.
    HostFileName withSuffix(const std::string& suffix) const;

    // Opens the written name with the fopen mode; none when the system refuses.
    std::FILE* open(const char* mode) const;
    // Gives a staged file its own name, replacing a file of that name; true when it has it.
    bool publish() const;
    // Removes the file under its own name; true when it is gone.
    bool remove() const;

private:
    std::string ownName;
    Encoding encoding;
    bool staged;
    std::string written;
};
