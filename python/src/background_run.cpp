#include "background_run.h"

#include <csignal>

namespace py = pybind11;

namespace orthomix::python {

void QueueingReporter::keep(bool warning, std::string_view text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back({warning, std::string(text)});
    console_.push_back((warning ? "warning: " : "") + std::string(text));
}

std::vector<QueueingReporter::Entry> QueueingReporter::take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(waiting_, {});
}

std::vector<std::string> QueueingReporter::console() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return console_;
}

BackgroundRun::BackgroundRun(py::object onLine, py::object onWarning)
    : onLine_(std::move(onLine)), onWarning_(std::move(onWarning)) {}

BackgroundRun::~BackgroundRun() {
    // Only when an exception left before wait(): the work must not outlive what it reads.
    if (thread_.joinable()) {
        stop_.request(SIGINT);
        joinWithoutGil();
    }
}

void BackgroundRun::joinWithoutGil() {
    const py::gil_scoped_release release;
    thread_.join();
}

void BackgroundRun::start(std::function<void(Reporter&, const StopToken&)> work) {
    std::promise<void> promise;
    done_ = promise.get_future();
    thread_ = std::thread([this, work = std::move(work), promise = std::move(promise)]() mutable {
        try {
            work(reporter_, stop_);
        } catch (...) {
            failure_ = std::current_exception();
        }
        promise.set_value();
    });
}

void BackgroundRun::deliverInto(std::optional<py::error_already_set>& pending) {
    for (const QueueingReporter::Entry& entry : reporter_.take()) {
        const py::object& callback = entry.warning ? onWarning_ : onLine_;
        if (callback.is_none() || pending) continue;
        try {
            callback(entry.text);
        } catch (py::error_already_set& raised) {
            pending.emplace(std::move(raised));
            stop_.request(SIGINT);
        }
    }
}

void BackgroundRun::deliver() {
    std::optional<py::error_already_set> pending;
    deliverInto(pending);
    if (pending) throw *pending;
}

void BackgroundRun::wait() {
    std::optional<py::error_already_set> pending;
    for (bool finished = false; !finished;) {
        {
            const py::gil_scoped_release release;
            finished = done_.wait_for(kTick) == std::future_status::ready;
        }
        deliverInto(pending);
        if (!pending && PyErr_CheckSignals() != 0) {
            pending.emplace();
            stop_.request(SIGINT);
        }
    }
    joinWithoutGil();
    deliverInto(pending);
    if (pending) throw *pending;
    if (failure_) std::rethrow_exception(failure_);
}

}  // namespace orthomix::python
