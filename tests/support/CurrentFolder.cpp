#include "support/CurrentFolder.h"

#include <filesystem>

CurrentFolder::CurrentFolder(const std::string& folder) : previous(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder() {
    std::error_code error;
    std::filesystem::current_path(previous, error);
}
