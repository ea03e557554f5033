#include "support/DrivesVariable.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
const char DrivesVariable::separator = ';';
#else
const char DrivesVariable::separator = ':';
#endif

namespace {
const char* const name = "VELMORAN_DRIVES";
}

DrivesVariable::DrivesVariable(const std::string& value) {
    if (const char* old = std::getenv(name)) previous.reset(new std::string(old));
    set(&value);
}

DrivesVariable::~DrivesVariable() { set(previous.get()); }

void DrivesVariable::set(const std::string* value) {
#ifdef _WIN32
    // Both the C runtime's copy and the process environment, which child processes inherit.
    _putenv_s(name, value ? value->c_str() : "");
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}
