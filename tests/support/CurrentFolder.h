#pragma once

#include <string>

// Makes a folder the process's current folder for the life of the object, so that files the
// tool names relative to it ("Velmoran.img", "Velmoran_3.vlm") land there.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::string& folder);
    ~CurrentFolder();
    CurrentFolder(const CurrentFolder&) = delete;
    CurrentFolder& operator=(const CurrentFolder&) = delete;

private:
    std::string previous;
};
