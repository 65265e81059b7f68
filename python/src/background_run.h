#pragma once

// Runs a fit or a run on a thread of its own while the calling Python thread
// waits without the GIL: every tick it hands the console text that arrived to
// the Python callbacks and checks for Ctrl-C, which asks the work to stop.

#include <pybind11/pybind11.h>

#include <chrono>
#include <exception>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "driver/control/interruption.h"
#include "support/reporter.h"

namespace orthomix::python {

// Keeps what a run reports for the waiting thread to pass on; safe to call
// from any thread of the run.
class QueueingReporter final : public Reporter {
public:
    struct Entry {
        bool warning = false;
        std::string text;
    };

    void line(std::string_view text) override { keep(false, text); }
    void warning(std::string_view text) override { keep(true, text); }
    void note(std::string_view text) override { keep(false, text); }
    void error(std::string_view) override {}  // the error is raised as an exception instead

    // What arrived since the last call, in order.
    std::vector<Entry> take();
    // Everything reported so far; warnings start with "warning: ".
    std::vector<std::string> console() const;

private:
    void keep(bool warning, std::string_view text);

    mutable std::mutex mutex_;
    std::vector<Entry> waiting_;
    std::vector<std::string> console_;
};

class BackgroundRun {
public:
    // on_line(text) receives progress lines and notes, on_warning(text) the
    // warnings without "warning: "; either may be None.
    BackgroundRun(pybind11::object onLine, pybind11::object onWarning);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // For what is reported before the work starts, such as warnings about settings.
    Reporter& reporter() { return reporter_; }
    // Passes on what was reported so far; the GIL is held.
    void deliver();

    // Starts the work on its own thread.
    void start(std::function<void(Reporter&, const StopToken&)> work);
    // Waits for the work to end, GIL released between ticks; a KeyboardInterrupt
    // or an exception from a callback asks it to stop and is raised once it has.
    void wait();

    std::vector<std::string> console() const { return reporter_.console(); }

private:
    static constexpr std::chrono::milliseconds kTick{50};
    void deliverInto(std::optional<pybind11::error_already_set>& pending);
    void joinWithoutGil();

    pybind11::object onLine_, onWarning_;
    QueueingReporter reporter_;
    StopFlag stop_;
    std::thread thread_;
    std::future<void> done_;
    std::exception_ptr failure_;
};

}  // namespace orthomix::python
