#pragma once

#include <cstddef>

namespace orthomix {

// Where an attempt stands after a completed iteration.
struct IterationProgress {
    int iteration = 0;  // completed iterations, from 1
    double logLikelihood = 0.0;
    double humanSpread = 0.0;
    double mouseSpread = 0.0;
    std::size_t scatterPairs = 0;
};

// Where an iteration that runs long stands.
struct IterationStep {
    int iteration = 0;          // the iteration in progress, from 1
    const char* step = "";      // "pair table", "E-step densities", "E-step pairs", "E-step", "M-step"
    double fractionDone = 0.0;  // of that step
    double seconds = 0.0;       // since the iteration began
};

// The caller's answer before an iteration: go on, or end the attempt with
// the rejection "no longer needed" or "interrupted".
enum class IterationPermit { Granted, NoLongerNeeded, Interrupted };

// How the caller of an attempt follows it, holds it back and ends it. The
// attempt's arithmetic knows nothing of why: scheduling, cancellation and
// progress lines belong to the caller. The defaults follow nothing and let
// every iteration start.
class AttemptObserver {
public:
    virtual ~AttemptObserver() = default;

    // Before iteration `iteration` (from 1) starts, on the attempt's thread;
    // may block until the caller lets it go on.
    virtual IterationPermit mayStartIteration(int /*iteration*/) { return IterationPermit::Granted; }
    // After every completed iteration, on the attempt's thread.
    virtual void iterationCompleted(const IterationProgress& /*progress*/) {}
    // Whether stepProgress is wanted at all: following the steps costs a
    // clock reading and a lock per piece of work.
    virtual bool followsSteps() const { return false; }
    // Once an iteration has run for the attempt's slowIterationSeconds, then
    // at most that often; possibly from several threads, never at once.
    virtual void stepProgress(const IterationStep& /*step*/) {}
};

}  // namespace orthomix
