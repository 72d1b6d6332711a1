// Allocation-failure sweeps of the trial dataset: initialisation, add, the
// three accumulations and the archive reader, each run once per allocation
// with exactly that allocation failing.
#include <gtest/gtest.h>

#include <vector>

#include "platform/carchive.h"
#include "support/sweep.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::test {
namespace {

const SweepOutcome kNoTable = returns(0, {"Is memory enough?!"});
// A failure that shows nothing of its own (a row of pairs, a new row table).
const SweepOutcome kSilent = returns(0);
const SweepOutcome kNoPlane = returns(0, {"Has enough memory?"});

// Cell [t][f] of plane d of the pair at matrix position p.
double cell(int64_t p, int d, int64_t t, int64_t f) { return 100.0 * p + 10.0 * t + f + 0.5 * d; }

// Gives every pair of `ds` real and imaginary planes of T x F cells from
// cell() (with their raw backup), like the host does.
void fillPairs(CSpctmTrlCCDatazq& ds, int64_t T, int64_t F) {
  for (int64_t r = 0; r < ds.rowSnsCount; ++r) {
    for (int64_t c = 0; c < ds.colSnsCount; ++c) {
      const int64_t p = r * ds.colSnsCount + c;
      std::vector<std::vector<double>> re(T, std::vector<double>(F)), im = re;
      std::vector<const double*> reRows, imRows;
      for (int64_t t = 0; t < T; ++t) {
        for (int64_t f = 0; f < F; ++f) re[t][f] = cell(p, 0, t, f), im[t][f] = cell(p, 1, t, f);
        reRows.push_back(re[t].data());
        imRows.push_back(im[t].data());
      }
      ASSERT_EQ(ds.pairMatrix[r][c].addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), T, F), 1);
    }
  }
  ds.timePt = T;
  ds.freqPt = F;
}

TEST(TrialSweep, InitialisationFailureLeavesNoMatrix) {
  // Table, then per row: the row of pairs and each pair's real and imaginary
  // planes.
  const std::vector<SweepOutcome> plan = {kNoTable, kSilent,   kNoPlane, kNoPlane, kNoPlane, kNoPlane,
                                          kSilent,   kNoPlane, kNoPlane, kNoPlane, kNoPlane};
  sweep(plan, returns(1), [](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    ds.curActSns = 1;
    ds.timePt = 7;
    const SweepOutcome o =
        runFailing(nth, [&] { return ds.checkInitSpctmCCData(2, 2, 2, 3, true, 1, 0, nullptr, nullptr); }, made);
    if (o.result == 1) {
      EXPECT_EQ(ds.verifySpctmCCData(2, 2, 2, 3, 1, 0), 1);
    } else {
      // A table that cannot be created changes nothing; any later failure
      // resets the counts and the current sensors.
      EXPECT_EQ(ds.pairMatrix, nullptr);
      EXPECT_EQ(ds.rowSnsCount + ds.colSnsCount + ds.curCxcSns, 0);
      EXPECT_EQ(ds.curActSns, nth == 1 ? 1 : 0);
    }
    EXPECT_EQ(ds.timePt, 7);
    expectTrialFits(ds);
    return o;
  });
}

TEST(TrialSweep, ReinitialisationFailureReleasesTheMatrix) {
  // Same sensor counts: only the power/phase plane of each pair is new.
  sweep({kNoPlane, kNoPlane}, returns(1), [](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    EXPECT_EQ(ds.checkInitSpctmCCData(2, 1, 2, 3, true, 1, 0, nullptr, nullptr), 1);
    fillPairs(ds, 2, 3);
    const SweepOutcome o =
        runFailing(nth, [&] { return ds.checkInitSpctmCCData(2, 1, 2, 3, false, 1, 1, nullptr, nullptr); }, made);
    if (o.result == 1) {
      EXPECT_NE(ds.pairMatrix[1][0].plane[2], nullptr);
      EXPECT_EQ(ds.pairMatrix[1][0].plane[0][1][2], cell(1, 0, 1, 2));
    } else {
      EXPECT_EQ(ds.pairMatrix, nullptr);
      EXPECT_EQ(ds.rowSnsCount, 0);
    }
    expectTrialFits(ds);
    return o;
  });
}

TEST(TrialSweep, AddFailureStopsAtTheFailingPair) {
  // A source of 2 x 1 pairs with real, imaginary and power/phase planes whose
  // flags announce no power/phase plane: the empty target is initialised
  // with real and imaginary planes, and adding each pair then creates its
  // power/phase plane.
  const SweepOutcome noPair = returns(0, {"Has enough memory?", "add spectral CCData error! \n"});
  const std::vector<SweepOutcome> plan = {kNoTable, kSilent, kNoPlane, kNoPlane, kSilent, kNoPlane, kNoPlane,
                                          noPair,   noPair};
  CSpctmTrlCCDatazq src;
  ASSERT_EQ(src.checkInitSpctmCCData(2, 1, 2, 2, true, 1, 0, nullptr, nullptr), 1);
  fillPairs(src, 2, 2);
  for (int64_t r = 0; r < 2; ++r) ASSERT_EQ(src.pairMatrix[r][0].computeMagnitude(), 2);
  src.hasImagPlane = 1;
  src.hasPowerPhasePlane = 0;
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
      if (p.plane[2] != nullptr) {
        EXPECT_EQ(p.plane[2][0][1], src.pairMatrix[r][0].plane[2][0][1]);
      }
    }
    return o;
  });
}

class AccumulateSweep : public ::testing::TestWithParam<int> {};

TEST_P(AccumulateSweep, FailureKeepsTheOldMatrix) {
  // 2 x 1 pairs of 3 x 2 cells with real and imaginary planes. The new
  // matrix: table, then per row the row of pairs and, per pair, its two
  // planes and their two raw backups.
  const int how = GetParam();
  const std::vector<SweepOutcome> plan = {kSilent,   kSilent,   kNoPlane, kNoPlane, kNoPlane, kNoPlane,
                                          kSilent,   kNoPlane, kNoPlane, kNoPlane, kNoPlane};
  sweep(plan, returns(1), [how](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    EXPECT_EQ(ds.checkInitSpctmCCData(2, 1, 3, 2, true, 1, 0, nullptr, nullptr), 1);
    fillPairs(ds, 3, 2);
    CSpctmChnChnDatazq** before = ds.pairMatrix;
    const SweepOutcome o = runFailing(
        nth,
        [&] {
          return how == 0 ? ds.accumulateTime1() : how == 1 ? ds.accumulateFreq1() : ds.accumulateTimeFreq1();
        },
        made);
    expectTrialFits(ds);
    const CSpctmChnChnDatazq& p = ds.pairMatrix[1][0];
    if (o.result != 1) {
      EXPECT_EQ(ds.pairMatrix, before);
      EXPECT_EQ(ds.timePt * 10 + ds.freqPt, 32);
      EXPECT_EQ(p.plane[1][2][1], cell(1, 1, 2, 1));
      return o;
    }
    // Means of 100 + 10 t + f (+ 0.5 for the imaginary plane) over the
    // collapsed axes, worked out by hand.
    if (how == 0) {
      EXPECT_EQ(p.plane[0][0][1], 111.0);
    }
    if (how == 1) {
      EXPECT_EQ(p.plane[1][2][0], 121.0);
    }
    if (how == 2) {
      EXPECT_EQ(p.plane[0][0][0], 110.5);
    }
    EXPECT_EQ(p.rawPlane[0][0][0], p.plane[0][0][0]);
    return o;
  });
}

INSTANTIATE_TEST_SUITE_P(TimeFreqBoth, AccumulateSweep, ::testing::Values(0, 1, 2));

std::vector<uint8_t> storeTrial(CSpctmTrlCCDatazq& ds) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  ds.serializeTrlSpctmZq(ar);
  ar.Close();
  return file.bytes();
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
  const std::vector<uint8_t> bytes = storeTrial(src);

  const SweepOutcome noArray = returns(0, {"Has enough memory?"});
  // Strings throw; the profile's buffer is dropped with its values read, so
  // reading goes on; a summary array ends the read; a pair's refused plane
  // is not looked at (the rest of that pair stays unread).
  const std::vector<SweepOutcome> plan = {
      throwsMemory(),  // magic
      throwsMemory(),  // trialName
      throwsMemory(),  // cxcType
      throwsMemory(),  // profile magic
      returns(1),      // profile values
      throwsMemory(),  // real summary magic
      noArray, noArray, noArray, noArray, noArray, noArray,
      throwsMemory(),  // imaginary summary magic
      throwsMemory(),  // power/phase summary magic
      kNoTable,
      kSilent,
      throwsMemory(),  // pair (0, 0) magic
      throwsMemory(),  // pair (0, 1) magic
      returns(1, {"Has enough memory?"}),  // pair (0, 1) real plane
  };
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    CSpctmTrlCCDatazq ds;
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return ds.serializeTrlSpctmZq(ar); }, made);
    expectTrialFits(ds);
    if (nth == 0) {
      EXPECT_EQ(ar.bytesRemaining(), 0);
      EXPECT_EQ(storeTrial(ds), bytes);
    }
    if (nth == 5) {
      EXPECT_EQ(ds.freqProfile.size(), 0);
      EXPECT_EQ(ds.pairMatrix[0][1].plane[0][0][1], 2.5);
      EXPECT_EQ(ar.bytesRemaining(), 0);
    }
    if (nth == 19) {
      EXPECT_EQ(ds.pairMatrix[0][1].plane[0], nullptr);
      // The refused plane's row (flag and two cells), two plane flags, the
      // raw extents and flags, isSelected and userTag.
      EXPECT_EQ(ar.bytesRemaining(), 4 + 16 + 8 + 16 + 12 + 1 + 4);
    }
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
