#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace orthomix::testing {

// A fresh directory under the system's temporary directory, removed with its
// contents when the object goes away.
class TemporaryDirectory {
public:
    TemporaryDirectory() {
        std::random_device entropy;
        for (;;) {
            const auto tag = std::to_string(entropy()) + "_" + std::to_string(entropy());
            path_ = std::filesystem::temp_directory_path() / ("orthomix_io_test_" + tag);
            if (std::filesystem::create_directory(path_)) break;
        }
    }
    ~TemporaryDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    // Writes contents byte for byte and returns the file's path.
    std::string write(const std::string& name, const std::string& contents) const {
        const std::filesystem::path file = path_ / name;
        std::ofstream out(file, std::ios::binary);
        out << contents;
        return file.string();
    }
    std::string pathOf(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }

    // Names of the entries directly inside, sorted: what a writer left behind.
    std::vector<std::string> entries() const { return entriesOf(path_); }

    static std::vector<std::string> entriesOf(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::filesystem::path path_;
};

// Restores the working folder when the test ends, however it ends.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::filesystem::path previous_;
};

inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace orthomix::testing
