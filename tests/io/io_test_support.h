#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

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

private:
    std::filesystem::path path_;
};

// Escapes text for use inside a death-test regular expression.
inline std::string regexEscaped(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace orthomix::testing
