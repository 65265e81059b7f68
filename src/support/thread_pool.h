#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orthomix {

// A fixed set of worker threads, created once per run by the driver and
// passed down to whatever splits its work. Nothing here decides a result:
// callers split work only where each piece writes its own slots, so the
// outcome is the same for every number of threads. An exception thrown by
// work on a worker thread (memory running out, above all) is carried to the
// thread that waits for that work and thrown there again, so that it reaches
// the entry point as it would with one thread.
class ThreadPool {
public:
    // The handle of a submitted task.
    class Task {
    public:
        bool valid() const { return state_ != nullptr; }

    private:
        friend class ThreadPool;
        struct State {
            bool done = false;
            std::exception_ptr failure;  // what the task threw, thrown again by wait()
        };
        std::shared_ptr<State> state_;  // guarded by the pool's mutex
    };

    // `threads` counts every thread that works, the calling one included:
    // 1 runs everything on the calling thread, and 0 means every hardware thread.
    // Threads the system refuses to start are done without (see started()).
    explicit ThreadPool(unsigned threads = 1);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    unsigned threads() const { return threads_; }
    // The threads asked for (0 resolved), and why fewer work when they do.
    unsigned requested() const { return requested_; }
    const std::string& startFailure() const { return startFailure_; }

    // Calls body(begin, end) on consecutive ranges that cover [0, count)
    // exactly once, at most maxChunks of them, and returns when all are done.
    // The calling thread takes ranges too, so a body may itself call
    // parallelFor. The ranges depend only on count and maxChunks. When a
    // body throws, the ranges not yet begun are skipped and the first
    // exception is thrown here once the others have ended.
    void parallelFor(std::size_t count, const std::function<void(std::size_t, std::size_t)>& body,
                     std::size_t maxChunks = kDefaultChunks);

    // Queues a long task for the workers; with one thread it runs at once on
    // the calling thread. What it throws comes out of wait(), either way.
    Task submit(std::function<void()> task);

    // Returns once the task has run, or throws what the task threw; meanwhile
    // the calling thread helps with the ranges of parallelFor calls, never
    // with other submitted tasks.
    void wait(const Task& task);
    // As wait(), dropping what the task threw: for clean-up that must not throw.
    void waitIgnoringFailure(const Task& task) noexcept;

    // Ranges of a parallelFor by default: fine enough to balance the load and
    // to report progress, coarse enough to cost nothing.
    static constexpr std::size_t kDefaultChunks = 64;

private:
    struct Job {
        std::function<void()> run;
        bool helper = false;  // takes ranges of a parallelFor: short, never waits on anything
    };
    void workerLoop();
    void waitUntilDone(const Task& task);

    unsigned threads_ = 1;
    unsigned requested_ = 1;
    std::string startFailure_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;  // helpers first, then submitted tasks in order
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

// parallelFor on the pool, or one range on the calling thread without one.
inline void forRanges(ThreadPool* pool, std::size_t count, const std::function<void(std::size_t, std::size_t)>& body,
                      std::size_t maxChunks = ThreadPool::kDefaultChunks) {
    if (pool) {
        pool->parallelFor(count, body, maxChunks);
    } else if (count > 0) {
        body(0, count);
    }
}

}  // namespace orthomix
