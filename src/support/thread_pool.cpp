#include "support/thread_pool.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace orthomix {
namespace {

// The ranges of one parallelFor, claimed one at a time by whichever thread
// comes first. Shared with the helper jobs, which may start after the call
// has returned and then find nothing left to claim.
struct RangeSet {
    std::size_t count = 0;
    std::size_t chunks = 0;
    const std::function<void(std::size_t, std::size_t)>* body = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::size_t finished = 0;    // guarded by mutex
    std::exception_ptr failure;  // the first exception a body threw; guarded by mutex
    std::mutex mutex;
    std::condition_variable allFinished;

    // Runs ranges until none is left; after a failure the rest are only counted.
    void work() {
        for (;;) {
            const std::size_t chunk = next.fetch_add(1);
            if (chunk >= chunks) return;
            std::exception_ptr thrown;
            if (!failed.load()) {
                try {
                    (*body)(chunk * count / chunks, (chunk + 1) * count / chunks);
                } catch (...) {
                    thrown = std::current_exception();
                    failed.store(true);
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            if (thrown && !failure) failure = thrown;
            if (++finished == chunks) allFinished.notify_all();
        }
    }
};

// What the task threw, or nothing; the same on the calling thread as on a worker.
std::exception_ptr runCatching(const std::function<void()>& task) {
    try {
        task();
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace

ThreadPool::ThreadPool(unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    threads_ = threads;
    requested_ = threads;
    // Submitted tasks run on workers only, so that the waiting thread can take
    // their results in order as soon as they are done.
    if (threads_ > 1) {
        workers_.reserve(threads_);
        for (unsigned t = 0; t < threads_; ++t) {
            try {
                workers_.emplace_back([this] { workerLoop(); });
            } catch (const std::system_error& error) {
                // Out of threads or of memory for their stacks: the ones started
                // do the work (the calling thread alone when none did); results
                // do not depend on how many there are.
                startFailure_ = error.code().message();
                break;
            } catch (const std::bad_alloc&) {
                // As above; thrown on, it would end the process with the
                // started threads still joinable.
                startFailure_ = "out of memory";
                break;
            }
        }
        if (!startFailure_.empty()) threads_ = std::max<unsigned>(1, static_cast<unsigned>(workers_.size()));
    }
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void ThreadPool::workerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        job.run();
        lock.lock();
    }
}

void ThreadPool::parallelFor(std::size_t count, const std::function<void(std::size_t, std::size_t)>& body,
                             std::size_t maxChunks) {
    const std::size_t chunks = std::min(count, std::max<std::size_t>(maxChunks, 1));
    if (chunks == 0) return;
    if (threads_ == 1 || chunks == 1) {
        for (std::size_t chunk = 0; chunk < chunks; ++chunk) body(chunk * count / chunks, (chunk + 1) * count / chunks);
        return;
    }
    auto ranges = std::make_shared<RangeSet>();
    ranges->count = count;
    ranges->chunks = chunks;
    ranges->body = &body;
    const std::size_t helpers = std::min<std::size_t>(threads_ - 1, chunks - 1);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        try {
            for (std::size_t h = 0; h < helpers; ++h) queue_.push_front(Job{[ranges] { ranges->work(); }, true});
        } catch (const std::bad_alloc&) {
            // Fewer helpers, never an early return: the helpers already queued
            // call the body, which must outlive them. The calling thread takes
            // the ranges no helper comes for.
        }
    }
    wake_.notify_all();
    ranges->work();
    std::unique_lock<std::mutex> lock(ranges->mutex);
    ranges->allFinished.wait(lock, [&] { return ranges->finished == ranges->chunks; });
    if (ranges->failure) std::rethrow_exception(ranges->failure);
}

ThreadPool::Task ThreadPool::submit(std::function<void()> task) {
    Task handle;
    handle.state_ = std::make_shared<Task::State>();
    if (threads_ == 1) {
        handle.state_->failure = runCatching(task);
        handle.state_->done = true;
        return handle;
    }
    std::shared_ptr<Task::State> state = handle.state_;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Job{[this, state, run = std::move(task)] {
                                 const std::exception_ptr thrown = runCatching(run);
                                 {
                                     std::lock_guard<std::mutex> finished(mutex_);
                                     state->failure = thrown;
                                     state->done = true;
                                 }
                                 wake_.notify_all();
                             },
                             false});
    }
    wake_.notify_all();
    return handle;
}

void ThreadPool::wait(const Task& task) {
    if (!task.valid()) return;
    waitUntilDone(task);
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure = task.state_->failure;
    }
    if (failure) std::rethrow_exception(failure);
}

void ThreadPool::waitIgnoringFailure(const Task& task) noexcept {
    if (task.valid()) waitUntilDone(task);
}

void ThreadPool::waitUntilDone(const Task& task) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (task.state_->done) return;
        if (!queue_.empty() && queue_.front().helper) {
            Job job = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            job.run();
            lock.lock();
            continue;
        }
        wake_.wait(lock);
    }
}

}  // namespace orthomix
