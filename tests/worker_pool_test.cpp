// The worker pool: every task exactly once, really at the same time, failures passed back in a
// fixed way, jobs inside jobs, and the thread counts the command line and environment give.
#include "scene/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(WorkerPool, RunsEveryTaskExactlyOnce) {
  for (const int threads : {1, 2, 3, 8}) {
    WorkerPool pool(threads);
    EXPECT_EQ(pool.Threads(), threads);
    for (const size_t count : {0u, 1u, 2u, 3u, 7u, 1000u}) {
      std::vector<std::atomic<int>> runs(count);
      for (int job = 0; job < 3; ++job) pool.Run(count, [&](size_t i) { ++runs[i]; });
      for (size_t i = 0; i < count; ++i) {
        ASSERT_EQ(runs[i].load(), 3) << threads << " threads, task " << i << " of " << count;
      }
    }
  }
  EXPECT_EQ(WorkerPool(0).Threads(), 1);
  EXPECT_EQ(WorkerPool(-4).Threads(), 1);
}

TEST(WorkerPool, OneThreadRunsTheTasksInOrderOnTheCaller) {
  WorkerPool pool(1);
  std::vector<size_t> order;
  std::vector<std::thread::id> ids;
  pool.Run(5, [&](size_t i) {
    order.push_back(i);
    ids.push_back(std::this_thread::get_id());
  });
  EXPECT_EQ(order, (std::vector<size_t>{0, 1, 2, 3, 4}));
  for (const auto& id : ids) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(WorkerPool::CurrentThread(), 0);
}

TEST(WorkerPool, TasksRunAtTheSameTimeOnEveryThread) {
  // Each task waits until all have started: only threads that really run together get past.
  for (const int threads : {2, 3}) {
    WorkerPool pool(threads);
    std::atomic<int> started{0};
    std::atomic<bool> together{true};
    std::vector<std::atomic<int>> onThread(static_cast<size_t>(threads));
    pool.Run(static_cast<size_t>(threads), [&](size_t) {
      ++onThread[static_cast<size_t>(WorkerPool::CurrentThread())];
      ++started;
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (started.load() < threads) {
        if (std::chrono::steady_clock::now() > deadline) {
          together = false;
          return;
        }
        std::this_thread::yield();
      }
    });
    EXPECT_TRUE(together.load()) << threads;
    // Running together, each task is on a thread of its own, and each thread knows its number.
    for (auto& n : onThread) EXPECT_EQ(n.load(), 1) << threads;
  }
}

TEST(WorkerPool, TheLowestFailingTaskIsRethrownAfterAllHaveRun) {
  for (const int threads : {1, 2, 3}) {
    WorkerPool pool(threads);
    std::atomic<int> ran{0};
    try {
      pool.Run(40, [&](size_t i) {
        ++ran;
        if (i == 9 || i == 31 || i == 17) throw std::runtime_error("task " + std::to_string(i));
      });
      ADD_FAILURE() << "nothing thrown";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "task 9") << threads;
    }
    EXPECT_EQ(ran.load(), 40);
    // The pool is usable again and the failure is gone.
    EXPECT_NO_THROW(pool.Run(4, [](size_t) {}));
  }
}

TEST(WorkerPool, AJobInsideATaskRunsInPlace) {
  WorkerPool pool(2);
  std::vector<std::atomic<int>> runs(4 * 6);
  pool.Run(4, [&](size_t outer) {
    const auto id = std::this_thread::get_id();
    pool.Run(6, [&](size_t inner) {
      EXPECT_EQ(std::this_thread::get_id(), id);
      ++runs[outer * 6 + inner];
    });
  });
  for (auto& r : runs) EXPECT_EQ(r.load(), 1);
}

TEST(WorkerPool, ThreadCountsFromTheCommandLineAndTheEnvironment) {
  const struct {
    const char* text;
    int threads;
  } cases[] = {{"1", 1},  {"2", 2},  {"16", 16}, {"256", 256}, {"257", 0},
               {"0", 0},  {"-3", 0}, {"+3", 0},  {" 3", 0},    {"3 ", 0},
               {"3x", 0}, {"", 0},   {"0x4", 0}, {"4.0", 0},   {"99999999999", 0}};
  for (const auto& c : cases)
    EXPECT_EQ(ParseThreadCount(c.text), c.threads) << '"' << c.text << '"';
  EXPECT_GE(MachineThreads(), 1);
  EXPECT_FALSE(SetSharedWorkerThreads(0));
  EXPECT_FALSE(SetSharedWorkerThreads(kMaxWorkerThreads + 1));
  // Once the shared pool exists its size is fixed.
  const int threads = SharedWorkerPool().Threads();
  EXPECT_FALSE(SetSharedWorkerThreads(threads == 1 ? 2 : 1));
  EXPECT_EQ(SharedWorkerPool().Threads(), threads);
}

}  // namespace
