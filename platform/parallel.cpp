#include "platform/parallel.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace megcxc {
namespace {

std::atomic<int> configured{0};
constexpr int kMaxThreads = 16;
constexpr int64_t kMinCellsPerThread = int64_t{1} << 18;

}  // namespace

int setWorkerThreads(int threads) { return configured.exchange(std::max(threads, 0)); }

int workerThreads() {
  const int set = configured.load();
  if (set > 0) return set;
  const unsigned hw = std::thread::hardware_concurrency();
  return std::clamp(static_cast<int>(hw), 1, kMaxThreads);
}

void parallelFor(int64_t count, int64_t cost, const std::function<void(int64_t, int64_t)>& body) {
  if (count <= 0) return;
  const int64_t cells = cost > 0 && count <= INT64_MAX / cost ? count * cost : INT64_MAX;
  const int64_t byWork = std::max<int64_t>(1, cells / kMinCellsPerThread);
  const int64_t threads = std::min<int64_t>({workerThreads(), byWork, count});
  if (threads <= 1) {
    body(0, count);
    return;
  }
  auto rangeOf = [&](int64_t k) { return std::pair<int64_t, int64_t>(count * k / threads, count * (k + 1) / threads); };
  std::vector<std::thread> workers;
  std::vector<int64_t> leftOver;
  try {
    workers.reserve(static_cast<std::size_t>(threads - 1));
    leftOver.reserve(static_cast<std::size_t>(threads - 1));
  } catch (...) {
    body(0, count);
    return;
  }
  for (int64_t k = 1; k < threads; ++k) {
    const auto [b, e] = rangeOf(k);
    try {
      workers.emplace_back([&body, b = b, e = e] { body(b, e); });
    } catch (const std::system_error&) {
      leftOver.push_back(k);
    }
  }
  const auto [b0, e0] = rangeOf(0);
  body(b0, e0);
  for (int64_t k : leftOver) {
    const auto [b, e] = rangeOf(k);
    body(b, e);
  }
  for (std::thread& t : workers) t.join();
}

}  // namespace megcxc
