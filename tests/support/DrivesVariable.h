#pragma once

#include <memory>
#include <string>

// Sets VELMORAN_DRIVES for the life of the object and puts back what was there before.
class DrivesVariable {
public:
    explicit DrivesVariable(const std::string& value);
    ~DrivesVariable();
    DrivesVariable(const DrivesVariable&) = delete;
    DrivesVariable& operator=(const DrivesVariable&) = delete;

    // ':' on POSIX, ';' on Windows.
    static const char separator;

private:
    static void set(const std::string* value);
    std::unique_ptr<std::string> previous;
};
