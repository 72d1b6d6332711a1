// Allocation-failure sweeps of the trial dataset: initialisation, the three
// collapses, add and the archive reader, each run once per allocation with
// exactly that allocation failing.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "support/sweep.h"
#include "trial/trial_helpers.h"

namespace megcxc::test {
namespace {

const SweepOutcome kNoTable = returns(0, {"Is memory enough?!"});
const SweepOutcome kSilent = returns(0);  // a row of pairs or a new row table shows nothing of its own
const SweepOutcome kNoPlane = returns(0, {"Has enough memory?"});

// Cell [t][f] of plane d of the pair at matrix position p.
double cell(int64_t p, int d, int64_t t, int64_t f) { return 100.0 * p + 10.0 * t + f + 0.5 * d; }

// 2 x 1 pairs with real and imaginary planes of T x F cells from cell() (with
// their raw backup), added like the host does.
void fillPairs(CSpctmTrlCCDatazq& ds, int64_t T, int64_t F) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 1, T, F, true, 1, 0, nullptr, nullptr), 1);
  for (int64_t p = 0; p < 2; ++p) {
    std::vector<double> re(T * F), im(T * F);
    std::vector<const double*> reRows, imRows;
    for (int64_t k = 0; k < T * F; ++k) re[k] = cell(p, 0, k / F, k % F), im[k] = cell(p, 1, k / F, k % F);
    for (int64_t t = 0; t < T; ++t) reRows.push_back(&re[t * F]), imRows.push_back(&im[t * F]);
    ASSERT_EQ(ds.pairMatrix[p][0].addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), T, F), 1);
  }
  ds.timePt = T, ds.freqPt = F;
}

// What a success builds is checked where each operation is tested; here every
// failure must leave a consistent dataset, and either the old matrix (the
// collapses) or none. The collapses work in the pairs' own blocks: nothing is
// allocated while every pair has its raw backup, else the missing raw planes
// (real and imaginary of both pairs) come first.
TEST(TrialSweep, MatrixBuildsFailAtEveryAllocationAndKeepOrDropTheMatrix) {
  using Op = std::function<int(CSpctmTrlCCDatazq&)>;
  const Op time = [](auto& ds) { return ds.accumulateTime1(); };
  const std::vector<SweepOutcome> rawPlanes(4, kNoPlane);
  const struct {
    const char* name;
    bool fresh;     // on a fresh dataset, else on 2 x 1 filled pairs of 3 x 2 cells
    bool collapse;  // a failure keeps the old matrix, else leaves none
    bool noBackup;  // the filled pairs lose their raw backups first
    std::vector<SweepOutcome> plan;
    Op op;
  } cases[] = {
      {"init: 2 x 2 pairs, real and imaginary", true, false, false, matrixPlan(2, 4, kNoTable, kSilent, kNoPlane),
       [](auto& ds) { return ds.checkInitSpctmCCData(2, 2, 2, 3, true, 1, 0, nullptr, nullptr); }},
      {"reinit: same counts, new power/phase planes only", false, false, false, {kNoPlane, kNoPlane},
       [](auto& ds) { return ds.checkInitSpctmCCData(2, 1, 3, 2, false, 1, 1, nullptr, nullptr); }},
      {"time", false, true, false, {}, time},
      {"freq", false, true, false, {}, [](auto& ds) { return ds.accumulateFreq1(); }},
      {"both", false, true, false, {}, [](auto& ds) { return ds.accumulateTimeFreq1(); }},
      {"time, no backup", false, true, true, rawPlanes, time}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sweep(c.plan, returns(1), [&](int64_t nth, int64_t* made) {
      CSpctmTrlCCDatazq ds;
      if (!c.fresh) fillPairs(ds, 3, 2);
      for (int64_t p = 0; c.noBackup && p < 2; ++p) ds.pairMatrix[p][0]._cleanBkSpctmData();
      ds.curActSns = 1;
      CSpctmChnChnDatazq** before = ds.pairMatrix;
      const SweepOutcome o = runFailing(nth, [&] { return c.op(ds); }, made);
      expectTrialFits(ds);
      if (o.result == 1) return o;
      if (c.collapse) {
        EXPECT_TRUE(ds.pairMatrix == before && ds.timePt * 10 + ds.freqPt == 32);
        const CSpctmChnChnDatazq& p = ds.pairMatrix[1][0];
        EXPECT_TRUE(p.timePt == 3 && p.freqPt == 2 && p.rawPlane[0] == nullptr);
        EXPECT_EQ(p.plane[1][2][1], cell(1, 1, 2, 1));
      } else {  // a table that cannot be created changes nothing; later failures reset counts and sensors
        EXPECT_TRUE(ds.pairMatrix == nullptr && ds.rowSnsCount + ds.colSnsCount + ds.curCxcSns == 0);
        EXPECT_EQ(ds.curActSns, c.fresh && nth == 1 ? 1 : 0);
      }
      return o;
    });
  }
}

TEST(TrialSweep, AddFailureStopsAtTheFailingPair) {
  // The source's 2 x 1 pairs have power/phase planes its flags do not
  // announce: the empty target gets real and imaginary planes, then adding
  // each pair creates its power/phase plane.
  std::vector<SweepOutcome> plan = matrixPlan(2, 2, kNoTable, kSilent, kNoPlane);
  plan.insert(plan.end(), 2, returns(0, {"Has enough memory?", "add spectral CCData error! \n"}));
  CSpctmTrlCCDatazq src;
  fillPairs(src, 2, 2);
  for (int64_t r = 0; r < 2; ++r) ASSERT_EQ(src.pairMatrix[r][0].computeMagnitude(), 2);
  src.hasImagPlane = 1, src.hasPowerPhasePlane = 0;
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    const SweepOutcome o = runFailing(nth, [&] { return ds.add(&src, nullptr, nullptr); }, made);
    expectTrialFits(ds);
    if (nth >= 1 && nth <= 7) {
      EXPECT_EQ(ds.pairMatrix, nullptr);
      return o;
    }
    // Pairs before the failing one hold the source's planes; the failing
    // pair holds its real and imaginary sums but no power/phase plane.
    const int64_t added = nth == 0 ? 2 : nth - 8;
    for (int64_t r = 0; r < 2; ++r) {
      const CSpctmChnChnDatazq& p = ds.pairMatrix[r][0];
      EXPECT_EQ(p.plane[2] != nullptr, r < added) << r;
      EXPECT_EQ(p.plane[0][1][1], r <= added ? cell(r, 0, 1, 1) : 0.0) << r;
      if (p.plane[2] != nullptr) { EXPECT_EQ(p.plane[2][0][1], src.pairMatrix[r][0].plane[2][0][1]); }
    }
    return o;
  });
}

TEST(TrialSweep, ReaderFailuresEndAsDocumented) {
  // 1 x 2 pairs: pair (0, 0) without planes, pair (0, 1) with a 1 x 2 real
  // plane only, last in the stream; a two-element frequency profile; the
  // real summary with its six 1 x 2 arrays.
  CSpctmTrlCCDatazq src;
  ASSERT_EQ(src.checkInitSpctmCCData(1, 2, 1, 2, true, 0, 0, nullptr, nullptr), 1);
  src.pairMatrix[0][0]._cleanSpctmData();
  src.pairMatrix[0][1].plane[0][0][1] = 2.5;
  ASSERT_NE(src.freqProfile.checkInitData(2, true), nullptr);
  src.freqProfile[1] = 4.0;
  ASSERT_EQ(src.summaryByDataType[0].checkInit(1, 2), 1);
  const std::vector<uint8_t> bytes = store(src);
  // Strings throw; the profile's buffer is dropped with its values read, so
  // reading goes on; a summary array ends the read; a pair's refused plane
  // is not looked at (the rest of that pair stays unread).
  const SweepOutcome str = throwsMemory();
  const std::vector<SweepOutcome> plan = {
      str, str, str, str,  // magic, trialName, cxcType, profile magic
      returns(1),          // profile values
      str, kNoPlane, kNoPlane, kNoPlane, kNoPlane, kNoPlane, kNoPlane,  // real summary: magic, six arrays
      str, str,            // the other summaries' magics
      kNoTable, kSilent,   // pair table, row
      str, str,            // the pairs' magics
      returns(1, {"Has enough memory?"}),  // pair (0, 1) real plane
  };
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return ds.serializeTrlSpctmZq(ar); }, made);
    expectTrialFits(ds);
    if (nth == 0) { EXPECT_EQ(store(ds), bytes); }
    if (nth == 0 || nth == 5) { EXPECT_EQ(ar.bytesRemaining(), 0); }
    if (nth == 5) { EXPECT_TRUE(ds.freqProfile.size() == 0 && ds.pairMatrix[0][1].plane[0][0][1] == 2.5); }
    // Left after the refused plane: its row (flag and two cells), two plane
    // flags, the raw extents and flags, isSelected and userTag.
    if (nth == 19) { EXPECT_TRUE(!ds.pairMatrix[0][1].plane[0] && ar.bytesRemaining() == 4 + 16 + 8 + 16 + 12 + 1 + 4); }
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
