#pragma once

// Running the built tool the way a user's shell or a process manager would:
// in the background (to signal it while it runs), under a shell command
// (resource limits, another user, a private mount), and looking for the
// files a run must not leave behind.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/test_support.h"

namespace orthomix::testing {

// The tool started in `directory` with its streams captured, for tests that
// signal it while it runs. Killed and reaped when the test lets it go.
class BackgroundRun {
public:
    BackgroundRun(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                  const std::vector<std::pair<std::string, std::string>>& environment = {})
        : out_(directory / ".stdout"), err_(directory / ".stderr") {
        pid_ = ::fork();
        if (pid_ != 0) return;
        if (::chdir(directory.c_str()) != 0) ::_exit(126);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(ORTHOMIX_BINARY));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(ORTHOMIX_BINARY, argv.data());
        ::_exit(127);
    }
    ~BackgroundRun() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        std::error_code ignored;
        std::filesystem::remove(out_, ignored);
        std::filesystem::remove(err_, ignored);
    }
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    bool started() const { return pid_ > 0; }
    void signal(int number) const { ::kill(pid_, number); }

    // Waits until the text shows on standard output or error; false when the
    // process ends first or a minute passes (a bound for a stuck run, not a timing).
    bool waitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < deadline) {
            if (out().find(text) != std::string::npos || err().find(text) != std::string::npos) return true;
            int status = 0;
            if (!reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) {
                reaped_ = true;
                status_ = status;
            }
            if (reaped_) return out().find(text) != std::string::npos || err().find(text) != std::string::npos;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

    // The exit status; -1 when the process did not exit by itself.
    int wait() {
        if (!reaped_) {
            ::waitpid(pid_, &status_, 0);
            reaped_ = true;
        }
        return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
    }

    std::string out() const { return readFile(out_.string()); }
    std::string err() const { return readFile(err_.string()); }

private:
    std::filesystem::path out_, err_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs a shell command line in `directory`; $ORTHOMIX stands for the built tool.
inline CommandResult runShell(const std::filesystem::path& directory, const std::string& script) {
    return runCaptured(directory, "ORTHOMIX='" + std::string(ORTHOMIX_BINARY) + "' bash -c '" + script + "'");
}

// Files under the folder whose names a writer gives its temporary files or
// the second names of files it replaces: "<name>.tmp<pid>", "<name>.old<pid>".
inline std::vector<std::string> leftoverFiles(const std::filesystem::path& folder) {
    std::vector<std::string> leftovers;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        for (const char* marker : {".tmp", ".old"}) {
            const std::size_t at = name.rfind(marker);
            if (at == std::string::npos || at + 4 == name.size()) continue;
            if (name.find_first_not_of("0123456789", at + 4) == std::string::npos) {
                leftovers.push_back(std::filesystem::relative(entry.path(), folder).string());
            }
        }
    }
    return leftovers;
}

}  // namespace orthomix::testing
