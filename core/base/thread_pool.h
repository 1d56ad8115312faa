#ifndef VELMAR_CORE_BASE_THREAD_POOL_H_
#define VELMAR_CORE_BASE_THREAD_POOL_H_

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {

// A fixed set of worker threads that run numbered tasks. The calling thread
// takes part, so a pool of n threads starts n - 1 workers. Tasks are handed
// out in index order to whichever thread is free; callers that need the same
// result for any thread count make each task's result depend on its index
// only and combine the results in index order afterwards.
//
// One job runs at a time; a second caller waits for the first to finish.
// Running a job allocates nothing.
class ThreadPool {
 public:
  explicit ThreadPool(int threads);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  int Threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls task(index, thread) for every index in [0, count), thread being a
  // number in [0, Threads()) that no other call of the same job shares at the
  // same time (0 is the caller). At most `max_threads` threads take part.
  // Returns when every task has finished.
  template <typename Task>
  void Run(int count, int max_threads, Task& task) {
    RunErased(
        count, max_threads,
        [](void* context, int index, int thread) { (*static_cast<Task*>(context))(index, thread); },
        &task);
  }

 private:
  using Call = void (*)(void* context, int index, int thread);

  void RunErased(int count, int max_threads, Call call, void* context);
  void WorkerLoop(int thread);
  void Drain(int thread);

  std::vector<std::thread> workers_;
  std::mutex run_mutex_;  // one job at a time

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  unsigned generation_ = 0;
  int joining_ = 0;  // workers that take part in the current job
  int busy_ = 0;     // workers not yet finished with the current job
  bool quit_ = false;

  Call call_ = nullptr;
  void* context_ = nullptr;
  int count_ = 0;
  std::atomic<int> next_{0};
};

// The program's pool for the passes over a taskbook, made on first use with
// the number of threads set by SetPassThreads (default: all cores).
ThreadPool& PassPool();
// 0 or less: all cores. Takes effect for the next PassPool() call; call it
// while no pass runs (at start-up).
void SetPassThreads(int threads);
int PassThreads();

}  // namespace velmar

#endif  // VELMAR_CORE_BASE_THREAD_POOL_H_
