// Allocation-failure sweeps: run an operation once per counted allocation it
// makes, with exactly that allocation failing, and compare each run with the
// outcome expected for the allocation that failed.
//
// A sweep lists the operation's allocations in the order the code makes them
// (worked out from the record's layout or algorithm, not observed), each with
// its expected outcome. The sweep first checks that a run without failures
// makes exactly that many allocations, so the list cannot silently drift from
// the code. Leaks are left to the AddressSanitizer build of the tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/alloc_test_hook.h"
#include "platform/carchive.h"
#include "platform/cexception.h"
#include "support/fits.h"
#include "support/message_recorder.h"

namespace megcxc::test {

// How one run ended: the operation's int result, or the exception it threw
// ("archive" or "memory"), and the messages shown.
struct SweepOutcome {
  int result = -1;
  std::string thrown;
  std::vector<std::string> messages;
  friend bool operator==(const SweepOutcome&, const SweepOutcome&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const SweepOutcome& o) {
  os << (o.thrown.empty() ? "result " + std::to_string(o.result) : "threw " + o.thrown) << ", messages [";
  for (const auto& m : o.messages) os << '"' << m << "\" ";
  return os << ']';
}

inline SweepOutcome returns(int result, std::vector<std::string> messages = {}) {
  return {result, "", std::move(messages)};
}
inline SweepOutcome throwsMemory() { return {-1, "memory", {}}; }

// Runs `op` with the nth counted allocation failing (0: none) and records how
// it ended. `allocations` receives the number of allocations it attempted.
inline SweepOutcome runFailing(int64_t nth, const std::function<int()>& op, int64_t* allocations = nullptr,
                               int answer = IDOK) {
  SweepOutcome out;
  MessageRecorder messages(answer);
  {
    AllocationFailureScope fail(nth);
    try {
      out.result = op();
    } catch (const CMemoryException&) {
      out.thrown = "memory";
    } catch (const CArchiveException&) {
      out.thrown = "archive";
    }
    if (allocations != nullptr) *allocations = countedAllocations();
  }
  out.messages = messages.texts();
  return out;
}

// The sweep itself: `attempt(n)` builds a fresh fixture, runs the operation
// with allocation n failing (n = 0: none) and checks the fixture's state
// afterwards; it returns the outcome. The run without failure must make
// exactly plan.size() allocations and end as `success`.
inline void sweep(const std::vector<SweepOutcome>& plan, const SweepOutcome& success,
                  const std::function<SweepOutcome(int64_t nth, int64_t* allocations)>& attempt) {
  int64_t made = -1;
  EXPECT_EQ(attempt(0, &made), success) << "without a failing allocation";
  ASSERT_EQ(made, static_cast<int64_t>(plan.size())) << "allocations of the operation";
  for (std::size_t i = 0; i < plan.size(); ++i) {
    const int64_t nth = static_cast<int64_t>(i) + 1;
    int64_t attempted = -1;
    EXPECT_EQ(attempt(nth, &attempted), plan[i]) << "allocation " << nth << " failing";
    EXPECT_GE(attempted, nth) << "allocation " << nth << " was never reached";
  }
}

// The allocations of a new pair matrix, in order: the table, then per row
// the row of pairs and the `planesPerRow` planes of its pairs.
inline std::vector<SweepOutcome> matrixPlan(int rows, int planesPerRow, const SweepOutcome& table,
                                            const SweepOutcome& row, const SweepOutcome& plane) {
  std::vector<SweepOutcome> plan{table};
  for (int r = 0; r < rows; ++r) {
    plan.push_back(row);
    plan.insert(plan.end(), planesPerRow, plane);
  }
  return plan;
}

// The record holds together as fits.h describes it.
inline void expectPairFits(const CSpctmChnChnData& pair) { EXPECT_EQ(misfit(pair), ""); }
inline void expectSummaryFits(const CSumCCSpctmData& s) { EXPECT_EQ(misfit(s), ""); }
inline void expectTrialFits(const CSpctmTrlCCData& t) { EXPECT_EQ(misfit(t), ""); }

}  // namespace megcxc::test
