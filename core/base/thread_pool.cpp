#include "core/base/thread_pool.h"

#include <algorithm>
#include <memory>

namespace velmar {

ThreadPool::ThreadPool(int threads) {
  const int workers = std::max(threads, 1) - 1;
  workers_.reserve(static_cast<size_t>(workers));
  for (int t = 1; t <= workers; ++t) workers_.emplace_back([this, t] { WorkerLoop(t); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void ThreadPool::Drain(int thread) {
  for (;;) {
    const int index = next_.fetch_add(1, std::memory_order_relaxed);
    if (index >= count_) return;
    call_(context_, index, thread);
  }
}

void ThreadPool::RunErased(int count, int max_threads, Call call, void* context) {
  if (count <= 0) return;
  std::lock_guard<std::mutex> run_lock(run_mutex_);
  const int helpers =
      std::min({static_cast<int>(workers_.size()), std::max(max_threads, 1) - 1, count - 1});
  if (helpers <= 0) {
    for (int i = 0; i < count; ++i) call(context, i, 0);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    call_ = call;
    context_ = context;
    count_ = count;
    next_.store(0, std::memory_order_relaxed);
    joining_ = helpers;
    busy_ = helpers;
    ++generation_;
  }
  wake_.notify_all();
  Drain(0);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return busy_ == 0; });
}

void ThreadPool::WorkerLoop(int thread) {
  unsigned seen = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || (generation_ != seen && thread <= joining_); });
      if (quit_) return;
      seen = generation_;
    }
    Drain(thread);
    bool last = false;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      last = --busy_ == 0;
    }
    if (last) done_.notify_one();
  }
}

namespace {

std::mutex g_pool_mutex;
int g_pass_threads = 0;
std::unique_ptr<ThreadPool> g_pool;

int AllCores() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

}  // namespace

ThreadPool& PassPool() {
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  const int wanted = g_pass_threads > 0 ? g_pass_threads : AllCores();
  if (g_pool == nullptr || g_pool->Threads() != wanted)
    g_pool = std::make_unique<ThreadPool>(wanted);
  return *g_pool;
}

void SetPassThreads(int threads) {
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  g_pass_threads = std::max(threads, 0);
}

int PassThreads() {
  std::lock_guard<std::mutex> lock(g_pool_mutex);
  return g_pass_threads > 0 ? g_pass_threads : AllCores();
}

}  // namespace velmar
