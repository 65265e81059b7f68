// The thread pool: ranges that cover each index once, nested splits, tasks
// that run while the caller waits, and one thread that runs everything inline.
#include "support/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <numeric>
#include <thread>
#include <vector>

namespace orthomix {
namespace {

TEST(ThreadPool, RangesCoverEveryIndexOnceForAnyCountAndChunking) {
    for (const unsigned threads : {1u, 2u, 7u}) {
        ThreadPool pool(threads);
        EXPECT_EQ(pool.threads(), threads);
        for (const std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{5}, std::size_t{1000}}) {
            for (const std::size_t chunks : {std::size_t{1}, std::size_t{3}, ThreadPool::kDefaultChunks}) {
                std::vector<std::atomic<int>> visits(count);
                std::atomic<int> calls{0};
                pool.parallelFor(
                    count,
                    [&](std::size_t begin, std::size_t end) {
                        EXPECT_LT(begin, end) << "no empty ranges";
                        ++calls;
                        for (std::size_t i = begin; i < end; ++i) ++visits[i];
                    },
                    chunks);
                for (std::size_t i = 0; i < count; ++i) {
                    EXPECT_EQ(visits[i].load(), 1) << threads << " threads, " << count << " items, index " << i;
                }
                EXPECT_LE(calls.load(), static_cast<int>(std::min(count, chunks)));
            }
        }
    }
}

TEST(ThreadPool, TheRangesDependOnlyOnTheCountAndTheChunkLimit) {
    const auto rangesWith = [](unsigned threads) {
        ThreadPool pool(threads);
        std::vector<std::size_t> endOf(100, 0);
        pool.parallelFor(100, [&](std::size_t begin, std::size_t end) { endOf[begin] = end; }, 8);
        return endOf;
    };
    EXPECT_EQ(rangesWith(1), rangesWith(2));
    EXPECT_EQ(rangesWith(1), rangesWith(7));
}

TEST(ThreadPool, OneThreadRunsEverythingOnTheCaller) {
    ThreadPool pool(1);
    const std::thread::id caller = std::this_thread::get_id();
    bool ranOnCaller = true;
    pool.parallelFor(50, [&](std::size_t, std::size_t) { ranOnCaller = ranOnCaller && std::this_thread::get_id() == caller; });
    std::thread::id taskThread;
    const ThreadPool::Task task = pool.submit([&] { taskThread = std::this_thread::get_id(); });
    EXPECT_EQ(taskThread, caller) << "a task has run by the time submit returns";
    pool.wait(task);
    EXPECT_TRUE(ranOnCaller);
}

TEST(ThreadPool, TasksSplitTheirOwnWorkWhileTheCallerWaitsInOrder) {
    ThreadPool pool(2);
    constexpr int kTasks = 6;
    std::vector<long> sums(kTasks, 0);
    std::vector<ThreadPool::Task> tasks;
    for (int t = 0; t < kTasks; ++t) {
        tasks.push_back(pool.submit([&pool, &sums, t] {
            // Each task splits its work again, and sums in index order afterwards.
            std::vector<long> squares(10000);
            pool.parallelFor(squares.size(), [&](std::size_t begin, std::size_t end) {
                for (std::size_t i = begin; i < end; ++i) squares[i] = static_cast<long>(i * i) + t;
            });
            sums[static_cast<std::size_t>(t)] = std::accumulate(squares.begin(), squares.end(), 0L);
        }));
    }
    for (int t = 0; t < kTasks; ++t) {
        pool.wait(tasks[static_cast<std::size_t>(t)]);
        long expected = 0;
        for (long i = 0; i < 10000; ++i) expected += i * i + t;
        EXPECT_EQ(sums[static_cast<std::size_t>(t)], expected) << "task " << t;
    }
    // A pool that is destroyed with nothing left to do returns at once.
}

// Memory running out inside work on a worker must reach the waiting caller
// as the exception itself, not end the process.
TEST(ThreadPool, AnExceptionInARangeOrATaskIsThrownAgainToTheWaitingCaller) {
    for (const unsigned threads : {1u, 2u, 7u}) {
        ThreadPool pool(threads);
        std::atomic<int> ranAfterFailure{0};
        std::atomic<bool> thrown{false};
        EXPECT_THROW(pool.parallelFor(
                         1000,
                         [&](std::size_t begin, std::size_t) {
                             if (thrown.load()) ++ranAfterFailure;
                             if (begin >= 500 && !thrown.exchange(true)) throw std::bad_alloc();
                         },
                         100),
                     std::bad_alloc)
            << threads << " threads";
        EXPECT_LT(ranAfterFailure.load(), 50) << "ranges not yet begun are skipped after a failure";

        // A task whose own split fails, next to one that succeeds.
        bool otherDone = false;
        const ThreadPool::Task failing = pool.submit([&pool] {
            pool.parallelFor(64, [](std::size_t begin, std::size_t) {
                if (begin == 10) throw std::bad_alloc();
            });
        });
        const ThreadPool::Task fine = pool.submit([&otherDone] { otherDone = true; });
        EXPECT_THROW(pool.wait(failing), std::bad_alloc) << threads << " threads";
        pool.wait(fine);
        EXPECT_TRUE(otherDone);
        // The pool keeps working after a failure.
        std::atomic<int> visited{0};
        pool.parallelFor(100, [&](std::size_t begin, std::size_t end) { visited += static_cast<int>(end - begin); });
        EXPECT_EQ(visited.load(), 100);
    }
}

TEST(ThreadPool, CleanUpCanWaitForAFailedTaskWithoutThrowing) {
    ThreadPool pool(2);
    const ThreadPool::Task failing = pool.submit([] { throw std::bad_alloc(); });
    pool.waitIgnoringFailure(failing);
    EXPECT_THROW(pool.wait(failing), std::bad_alloc) << "the failure is still there for whoever asks";
}

TEST(ThreadPool, ZeroThreadsMeansEveryHardwareThread) {
    ThreadPool pool(0);
    EXPECT_EQ(pool.threads(), std::max(1u, std::thread::hardware_concurrency()));
}

}  // namespace
}  // namespace orthomix
