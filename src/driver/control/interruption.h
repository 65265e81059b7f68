#pragma once

#include <atomic>
#include <csignal>
#include <string>

#include "support/error.h"

namespace orthomix {

// SIGINT, SIGTERM and SIGHUP end a run without leaving anything half done.
// The first one asks the run to stop: it does so at the next EM iteration,
// repetition attempt or, at the latest, before the result set is put in
// place, and leaves the earlier result files as they were. A second one does
// not wait: it removes the temporary files at once and ends the process.
// Either way the exit status is 128 + the signal's number. SIGXFSZ is
// ignored, so that a file-size limit is reported as a failed write.
void installInterruptionHandlers();

// The signal that asked the run to stop; 0 while none has.
int interruptionSignal();

// True once a signal has asked the run to stop; what the EM iterations watch.
const std::atomic<bool>& stopRequested();

// What may ask a run to stop, read by the attempts as they go.
class StopToken {
public:
    virtual ~StopToken() = default;
    // The signal that asked the run to stop; 0 while none has.
    virtual int signal() const = 0;
    // True once the run is asked to stop; what the EM iterations watch.
    virtual const std::atomic<bool>& requested() const = 0;
};

// The interruption signals of the process, as the handlers above receive them.
const StopToken& interruptionStopToken();

// A stop asked for by the code that embeds a run, such as a test or a front
// end with a cancel button; it names the signal the request stands for.
class StopFlag final : public StopToken {
public:
    void request(int signal);
    int signal() const override { return signal_.load(); }
    const std::atomic<bool>& requested() const override { return requested_; }

private:
    std::atomic<int> signal_{0};
    std::atomic<bool> requested_{false};
};

// "Interrupted by SIGINT; the result files were left as they were", the error that ends the run.
Error interruptedError(int signal);

// Holds the interruption signals back while it lives, so that putting the
// result set in place is never cut in two; one that arrives meanwhile is
// delivered when the object goes away.
class SignalsHeldBack {
public:
    SignalsHeldBack();
    ~SignalsHeldBack();
    SignalsHeldBack(const SignalsHeldBack&) = delete;
    SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

private:
    sigset_t previous_;
};

}  // namespace orthomix
