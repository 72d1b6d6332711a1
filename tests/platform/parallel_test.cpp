// The worker-thread loop: every index exactly once, in ranges that cover
// [0, count) whatever the thread count, and a thread that runs slower takes
// fewer of the ranges instead of holding the pass up.
#include "platform/parallel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

class ParallelFor : public ::testing::Test {
 protected:
  void TearDown() override { megcxc::setWorkerThreads(0); }
};

TEST_F(ParallelFor, RunsEveryIndexOnceOnAnyNumberOfThreads) {
  constexpr int64_t kManyCells = int64_t{1} << 30;  // enough work to start threads
  for (const int threads : {1, 2, 3, 4}) {
    megcxc::setWorkerThreads(threads);
    for (const int64_t count : {int64_t{1}, int64_t{5}, int64_t{64}, int64_t{1000}, int64_t{100003}}) {
      std::vector<std::atomic<int>> hits(static_cast<std::size_t>(count));
      std::atomic<bool> badRange{false};
      megcxc::parallelFor(count, kManyCells / count, [&](int64_t begin, int64_t end) {
        if (begin < 0 || begin >= end || end > count) badRange = true;
        for (int64_t i = begin; i < end && i >= 0 && i < count; ++i) hits[static_cast<std::size_t>(i)]++;
      });
      EXPECT_FALSE(badRange) << threads << " threads, " << count;
      int64_t wrong = 0;
      for (const auto& h : hits) wrong += h.load() != 1;
      EXPECT_EQ(wrong, 0) << threads << " threads, " << count;
    }
  }
}

TEST_F(ParallelFor, ASlowerThreadTakesFewerRanges) {
  megcxc::setWorkerThreads(2);
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<int> byCaller{0}, byWorker{0};
  megcxc::parallelFor(64, int64_t{1} << 30, [&](int64_t, int64_t) {
    if (std::this_thread::get_id() == caller) {
      ++byCaller;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } else {
      ++byWorker;
    }
  });
  // With fixed halves each thread would run as many; here the worker runs
  // nearly all of them while the caller sleeps.
  EXPECT_EQ(byCaller + byWorker, 32);
  EXPECT_LT(byCaller.load(), 16);
}

}  // namespace
