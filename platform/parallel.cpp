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
constexpr int64_t kPiecesPerThread = 16;

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
  // The indices go out in kPiecesPerThread pieces per thread, each to the
  // next thread that asks: a core that runs slower (a busy sibling, a host
  // that gives a virtual core less time, an efficiency core) takes fewer,
  // instead of the whole pass waiting for its fixed share.
  const int64_t pieces = std::min<int64_t>(count, threads * kPiecesPerThread);
  std::atomic<int64_t> next{0};
  auto work = [&] {
    for (int64_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < pieces;) {
      body(count * k / pieces, count * (k + 1) / pieces);
    }
  };
  std::vector<std::thread> workers;
  try {
    workers.reserve(static_cast<std::size_t>(threads - 1));
  } catch (...) {
    body(0, count);
    return;
  }
  for (int64_t k = 1; k < threads; ++k) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // the threads there are take the pieces
    }
  }
  work();
  for (std::thread& t : workers) t.join();
}

}  // namespace megcxc
