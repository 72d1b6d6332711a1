// Worker threads for the whole-dataset passes whose cells are independent
// and whose cost is computing rather than moving memory (phase: one atan2 per
// cell; magnitude: a square root and the first touch of a new plane; the
// accumulations: sums and moving each plane into a smaller block).
//
// Only loops that cannot fail and show no message run on workers; the
// allocations a pass can fail on, and its messages, happen before, on the
// calling thread, in pair order. (The accumulations also move planes into
// smaller blocks on the workers: a plane whose block cannot be had shrinks
// where it is.) Every cell is computed by the same instructions
// whichever thread takes it, so the results do not depend on the number of
// threads.
#pragma once

#include <cstdint>
#include <functional>

namespace megcxc {

// Threads a pass may use: 0 (the default) means one per hardware thread, at
// most 16; 1 runs every pass on the calling thread. Returns the previous
// setting.
int setWorkerThreads(int threads);
// The number a pass of enough work uses now (>= 1).
int workerThreads();

// Calls body(begin, end) on consecutive ranges covering [0, count) from up to
// workerThreads() threads, the calling thread one of them, and returns when
// all are done. The ranges (about 16 per thread) go to whichever thread is
// free next, so a slower core takes fewer; which thread runs a range is not
// fixed, and a thread may run several. `cost` is the work of one index in
// cells; fewer than about a quarter of a million cells in all run on the
// calling thread alone, where starting threads would cost more than it
// saves. Threads that cannot be started leave their ranges to the others.
// `body` must not throw.
void parallelFor(int64_t count, int64_t cost, const std::function<void(int64_t, int64_t)>& body);

}  // namespace megcxc
