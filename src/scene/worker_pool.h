// The worker threads that the long passes over a model (projection, sort, drawing, reading a
// large file) share: created once, they sleep between jobs, and a job hands them numbered
// tasks. Nothing here decides what may run at once; each pass says why its tasks are
// independent and how their results are put together in a fixed order, so that what comes
// out is the same whatever the number of threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

class WorkerPool {
 public:
  // `threads` threads in all, the caller of Run counted: threads − 1 workers are started now
  // and live as long as the pool. Fewer than 1 counts as 1.
  explicit WorkerPool(int threads);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int Threads() const { return threads_; }

  // Whether a job of `count` tasks started here runs them all at the same time, so that they
  // may wait for one another: enough threads, and not called from inside a task.
  bool RunsAtOnce(size_t count) const;

  // Which of the pool's threads runs the calling task: 0 for the thread that called Run, 1 to
  // Threads() − 1 for the workers. Tasks use it to pick working memory of their own.
  static int CurrentThread();

  // Runs task(0), …, task(count − 1), each exactly once, on the calling thread and the
  // workers, in any order and at the same time, and returns when every one has finished.
  // With one thread, one task, or when called from inside a task, they simply run in order on
  // the calling thread. Allocates nothing. If tasks throw, the exception of the lowest
  // numbered one that threw is rethrown once all have finished (the others still ran).
  template <class Task>
  void Run(size_t count, Task&& task) {
    using Plain = std::remove_reference_t<Task>;
    Dispatch(
        count, [](void* t, size_t i) { (*static_cast<Plain*>(t))(i); },
        const_cast<void*>(static_cast<const void*>(&task)));
  }

 private:
  using TaskCall = void (*)(void* task, size_t index);

  void Dispatch(size_t count, TaskCall call, void* task);
  void WorkerLoop(int index);
  // Claims and runs tasks of the current job until none is left.
  void Work();

  const int threads_;
  std::vector<std::thread> workers_;

  std::mutex runMutex_;  // one job at a time, whoever asks

  std::mutex mutex_;
  std::condition_variable wake_;  // workers: a job was opened, or the pool is closing
  std::condition_variable idle_;  // the caller: the last worker left the job
  uint64_t generation_ = 0;       // counts the jobs opened
  bool open_ = false;             // workers may still join the current job
  bool closing_ = false;
  int inside_ = 0;  // workers working on the current job

  // The current job. Written by the caller before it is opened; read by the workers inside.
  TaskCall call_ = nullptr;
  void* task_ = nullptr;
  size_t count_ = 0;
  std::atomic<size_t> next_{0};

  std::mutex failureMutex_;
  std::exception_ptr failure_;
  size_t failedTask_ = 0;
};

// The largest number of threads a pool is given from the command line or the environment.
inline constexpr int kMaxWorkerThreads = 256;

// A thread count as the command line or the environment gives it: a decimal whole number from
// 1 to kMaxWorkerThreads, nothing else around it. 0 for anything else.
int ParseThreadCount(std::string_view text);

// How many threads this machine lets the process run at once (its CPU affinity mask), at
// least 1.
int MachineThreads();

// The pool every form uses unless it is given its own: created at its first use, with the
// number of threads set below, or else KESTREL_THREADS from the environment when that is a
// whole number from 1 to 256, or else MachineThreads().
WorkerPool& SharedWorkerPool();

// Sets the number of threads of the shared pool. Only before its first use: false (and
// nothing changed) once it exists or when `threads` is outside 1 to 256.
bool SetSharedWorkerThreads(int threads);
