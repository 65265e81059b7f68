#include "driver/control/interruption.h"

#include <unistd.h>

#include "io/atomic_file.h"

namespace orthomix {
namespace {

constexpr int kInterruptionSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<int> receivedSignal{0};
std::atomic<bool> stopFlag{false};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "the signal handler writes both");

extern "C" void onInterruption(int signal) {
    int none = 0;
    if (!receivedSignal.compare_exchange_strong(none, signal)) {
        removeTemporaryFilesNow();
        ::_exit(128 + signal);
    }
    stopFlag.store(true);
}

sigset_t interruptionSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : kInterruptionSignals) sigaddset(&set, signal);
    return set;
}

const char* signalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "a signal";
    }
}

}  // namespace

void installInterruptionHandlers() {
    struct sigaction action {};
    action.sa_handler = onInterruption;
    sigemptyset(&action.sa_mask);
    // Reads and writes under way go on; the run itself looks at the flag.
    action.sa_flags = SA_RESTART;
    for (const int signal : kInterruptionSignals) sigaction(signal, &action, nullptr);
    // Past a file-size limit (ulimit -f) a write then fails with its reason,
    // reported like a full disk, instead of the signal ending the process
    // with a temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
}

int interruptionSignal() { return receivedSignal.load(); }

const std::atomic<bool>& stopRequested() { return stopFlag; }

namespace {

class InterruptionSignals final : public StopToken {
public:
    int signal() const override { return interruptionSignal(); }
    const std::atomic<bool>& requested() const override { return stopRequested(); }
};

}  // namespace

const StopToken& interruptionStopToken() {
    static const InterruptionSignals token;
    return token;
}

void StopFlag::request(int signal) {
    int none = 0;
    signal_.compare_exchange_strong(none, signal);
    requested_.store(true);
}

Error interruptedError(int signal) {
    return Error{std::string("Interrupted by ") + signalName(signal) + "; the result files were left as they were"};
}

SignalsHeldBack::SignalsHeldBack() {
    const sigset_t set = interruptionSet();
    sigprocmask(SIG_BLOCK, &set, &previous_);
}

SignalsHeldBack::~SignalsHeldBack() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace orthomix
