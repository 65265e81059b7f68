#pragma once

#include <sys/wait.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace orthomix::testing {

// A fresh directory under the system's temporary folder, removed at the end of the test.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("orthomix-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// Standard error without what every run says about its ortholog file: the
// line on how the pairs matched and the warning about pairs written twice.
inline std::string withoutOrthologReport(const std::string& err) {
    std::istringstream in(err);
    std::string line;
    std::string kept;
    while (std::getline(in, line)) {
        const bool matching = line.find(" ortholog pairs, ") != std::string::npos &&
                              line.find(" with both genes present and kept") != std::string::npos;
        const bool repeats = line.find(" the pair of an earlier one (") != std::string::npos;
        if (!matching && !repeats) kept += line + "\n";
    }
    return kept;
}

struct CommandResult {
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs a shell command line in `directory`, capturing both streams.
inline CommandResult runCaptured(const std::filesystem::path& directory, const std::string& commandLine) {
    const std::filesystem::path outFile = directory / ".stdout";
    const std::filesystem::path errFile = directory / ".stderr";
    const std::string command = "cd '" + directory.string() + "' && " + commandLine + " > '" + outFile.string() +
                                "' 2> '" + errFile.string() + "' < /dev/null";
    const int status = std::system(command.c_str());
    CommandResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(outFile.string());
    result.err = readFile(errFile.string());
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return result;
}

// Runs the built tool with the given argument string in `directory`, capturing both streams.
inline CommandResult runTool(const std::filesystem::path& directory, const std::string& arguments) {
    return runCaptured(directory, "'" + std::string(ORTHOMIX_BINARY) + "' " + arguments);
}

}  // namespace orthomix::testing
