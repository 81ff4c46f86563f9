// The shared worker threads.
#include "scene/worker_pool.h"

#include <sched.h>

#include <charconv>
#include <cstdlib>
#include <memory>

namespace {

// Set while a thread runs a task, so that a task which starts a job of its own runs it in
// place instead of waiting for workers that are all busy with the outer one.
thread_local bool t_insideTask = false;
thread_local int t_threadIndex = 0;

}  // namespace

WorkerPool::WorkerPool(int threads) : threads_(threads < 1 ? 1 : threads) {
  workers_.reserve(static_cast<size_t>(threads_ - 1));
  for (int k = 1; k < threads_; ++k) workers_.emplace_back([this, k] { WorkerLoop(k); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void WorkerPool::Dispatch(size_t count, TaskCall call, void* task) {
  if (count == 0) return;
  if (threads_ == 1 || count == 1 || t_insideTask) {
    // In order, so the first failure is the lowest numbered one; the rest still run, as they
    // would on the workers.
    std::exception_ptr first;
    for (size_t i = 0; i < count; ++i) {
      try {
        call(task, i);
      } catch (...) {
        if (!first) first = std::current_exception();
      }
    }
    if (first) std::rethrow_exception(first);
    return;
  }
  std::lock_guard job(runMutex_);
  call_ = call;
  task_ = task;
  count_ = count;
  next_.store(0, std::memory_order_relaxed);
  failure_ = nullptr;
  {
    std::lock_guard lock(mutex_);
    ++generation_;
    open_ = true;
  }
  wake_.notify_all();
  Work();
  {
    // Every task has been claimed; no worker may join any more, and those inside finish the
    // tasks they hold before the job's storage goes.
    std::unique_lock lock(mutex_);
    open_ = false;
    idle_.wait(lock, [this] { return inside_ == 0; });
  }
  if (failure_) {
    std::exception_ptr failure = std::move(failure_);
    failure_ = nullptr;
    std::rethrow_exception(failure);
  }
}

void WorkerPool::Work() {
  t_insideTask = true;
  for (;;) {
    const size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= count_) break;
    try {
      call_(task_, i);
    } catch (...) {
      std::lock_guard lock(failureMutex_);
      if (!failure_ || i < failedTask_) {
        failure_ = std::current_exception();
        failedTask_ = i;
      }
    }
  }
  t_insideTask = false;
}

bool WorkerPool::RunsAtOnce(size_t count) const {
  return !t_insideTask && count <= static_cast<size_t>(threads_);
}

int WorkerPool::CurrentThread() {
  return t_threadIndex;
}

void WorkerPool::WorkerLoop(int index) {
  t_threadIndex = index;
  uint64_t seen = 0;
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return closing_ || (open_ && generation_ != seen); });
    if (closing_) return;
    seen = generation_;
    ++inside_;
    lock.unlock();
    Work();
    lock.lock();
    if (--inside_ == 0 && !open_) idle_.notify_one();
  }
}

int ParseThreadCount(std::string_view text) {
  // from_chars takes no plus sign, blank or base prefix, so "+3" and " 3" are refused; "-3"
  // reads as a number below 1.
  int n = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, n);
  if (text.empty() || error != std::errc() || stop != end) return 0;
  return n >= 1 && n <= kMaxWorkerThreads ? n : 0;
}

int MachineThreads() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int n = CPU_COUNT(&set);
    if (n >= 1) return n;
  }
  const unsigned n = std::thread::hardware_concurrency();
  return n >= 1 ? static_cast<int>(n) : 1;
}

namespace {

std::mutex g_sharedMutex;
std::unique_ptr<WorkerPool> g_shared;
int g_sharedThreads = 0;  // 0: not set

int ThreadsFromEnvironment() {
  const char* text = std::getenv("KESTREL_THREADS");
  return text == nullptr ? 0 : ParseThreadCount(text);
}

}  // namespace

WorkerPool& SharedWorkerPool() {
  std::lock_guard lock(g_sharedMutex);
  if (!g_shared) {
    int n = g_sharedThreads;
    if (n == 0) n = ThreadsFromEnvironment();
    if (n == 0) n = MachineThreads();
    g_shared = std::make_unique<WorkerPool>(n);
  }
  return *g_shared;
}

bool SetSharedWorkerThreads(int threads) {
  std::lock_guard lock(g_sharedMutex);
  if (g_shared || threads < 1 || threads > kMaxWorkerThreads) return false;
  g_sharedThreads = threads;
  return true;
}
