#include "app/WorkFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace korvo::measurement {

WorkFolder::WorkFolder(std::string path) : path_(std::move(path)) {
    struct stat status {};
    if (::stat(path_.c_str(), &status) != 0) {
        throw std::runtime_error("The work folder " + path_ + " cannot be used: " + std::strerror(errno));
    }
    if (!S_ISDIR(status.st_mode)) {
        throw std::runtime_error("The work folder " + path_ + " is not a folder");
    }
    if (::access(path_.c_str(), W_OK | X_OK) != 0) {
        throw std::runtime_error("The work folder " + path_ + " cannot be written: " + std::strerror(errno));
    }
}

std::string WorkFolder::mapPart(std::size_t group) const {
    return path_ + "/map-" + std::to_string(group);
}

std::string WorkFolder::reducePart(std::size_t shard) const {
    return path_ + "/reduce-" + std::to_string(shard);
}

void WorkFolder::writePart(const std::string& part,
                           const std::function<void(const std::string& folder)>& write) const {
    const std::string temporary = part + ".partial-" + std::to_string(::getpid());
    std::filesystem::remove_all(temporary);
    if (::mkdir(temporary.c_str(), 0777) != 0) {
        throw std::runtime_error("Cannot create " + temporary + ": " + std::strerror(errno));
    }
    try {
        write(temporary);
        publish(temporary, part);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
        throw;
    }
}

void WorkFolder::publish(const std::string& temporary, const std::string& part) const {
    if (::rename(temporary.c_str(), part.c_str()) == 0) {
        return;
    }
    const int error = errno;
    if (error != EEXIST && error != ENOTEMPTY) {
        throw std::runtime_error("Cannot rename " + temporary + " to " + part + ": " + std::strerror(error));
    }
    const auto contents = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    if (contents(temporary + "/state") == contents(part + "/state")) {
        std::filesystem::remove_all(temporary);
        return;
    }
    // A part of an earlier run, of other captures or options: this one takes its place.
    const std::string replaced = part + ".replaced-" + std::to_string(::getpid());
    if (::rename(part.c_str(), replaced.c_str()) != 0 || ::rename(temporary.c_str(), part.c_str()) != 0) {
        throw std::runtime_error("Cannot replace " + part + ": " + std::strerror(errno));
    }
    std::filesystem::remove_all(replaced);
}

std::size_t WorkFolder::groups() const {
    std::vector<std::size_t> found;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(path_)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("map-", 0) == 0 && name.find_first_not_of("0123456789", 4) == std::string::npos &&
            name.size() > 4) {
            found.push_back(std::stoul(name.substr(4)));
        }
    }
    std::sort(found.begin(), found.end());
    for (std::size_t group = 0; group < found.size(); ++group) {
        if (found[group] != group) {
            throw std::runtime_error("The work folder " + path_ + " lacks map-" + std::to_string(group) +
                                     ": group " + std::to_string(group) + " has not been mapped");
        }
    }
    if (found.empty()) {
        throw std::runtime_error("The work folder " + path_ + " holds no mapped group (map-0, ...)");
    }
    return found.size();
}

}  // namespace korvo::measurement
