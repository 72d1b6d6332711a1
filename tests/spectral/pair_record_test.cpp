// The channel-pair record: its planes and their backup, copies, the derived
// power/phase plane, statistics, merges and failed allocations.
#include <cmath>
#include <memory>
#include <tuple>

#include "platform/alloc_test_hook.h"
#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

const Grid kRe{{1, 2}, {3, 4}, {5, 6}}, kIm{{-1, -2}, {-3, -4}, {-5, -6}};
const Grid kZeros(3, std::vector<double>(2, 0.0));
const Grid kSrcRe{{1, 2, 3}, {4, 5, 6}}, kSrcIm{{-1, 0, 1}, {2, 2, 2}};

class PairRecord : public PairTest {
 protected:
  void SetUp() override { fill(source, kSrcRe, kSrcIm); }
  CSpctmChnChnDatazq source;  // 2 x 3, merged into `pair`
};

TEST_F(PairRecord, InitBackupAndCopiesOfThePlanes) {
  EXPECT_TRUE(pair.isSelected && pair.chnA == -1 && pair.userTag == 0);
  // Init keeps planes of the same extents and recreates others.
  double** none = nullptr;  // empty extents are refused without a message
  EXPECT_TRUE(!CSpctmBasicx::newBufferF2d(0, 5, true) && CSpctmBasicx::freeBufferF2d(0, 0, none) == 0);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_TRUE(after(pair.checkInitpctmSpace(3, 2, false, 1, 0), 1) == kZeros && !pair.plane[2]);
  pair.plane[0][2][1] = 7.0;
  EXPECT_TRUE(pair.checkInitpctmSpace(3, 2, false, 1, 0) == 1 && pair.plane[0][2][1] == 7.0);
  EXPECT_TRUE(after(pair.checkInitpctmSpace(3, 2, true, 0, 0)) == kZeros && !pair.plane[1]);
  EXPECT_TRUE(pair.verifySpctmData(3, 2, 1, 0) == 0 && pair.verifySpctmData(3, 2, 0, 0) == 1);
  EXPECT_EQ(after(pair.checkInitpctmSpace(4, 2, false, 1, 1), 2), Grid(4, std::vector<double>(2, 0.0)));
  EXPECT_EQ(pair.checkInitpctmSpace(0, 4, true, 1, 1), 0);
  EXPECT_TRUE(pair.timePt == 0 && !pair.plane[0] && !pair.plane[1] && !pair.plane[2]);
  // Host rows are copied and backed up; results join the backup.
  ASSERT_EQ(fill(pair, kRe, kIm), 1);
  int64_t t = 0, f = 0;
  EXPECT_TRUE(!pair.getSpctmDataPtr(2, &t, &f) && t == 3 && f == 2 && pair.has3Data() == 0);
  ASSERT_TRUE(pair.computeMagnitude() == 2 && pair.has3Data() == 1);
  const Grid magnitude = cells(2);
  pair.plane[0][2][1] = 99.0;
  ASSERT_EQ(pair.storeSpctmResult(), 1);  // the result alone joins the backup
  EXPECT_TRUE(grid(pair.rawPlane[2], 3, 2) == magnitude && grid(pair.rawPlane[0], 3, 2) == kRe);
  pair.plane[2][1][1] = -1.0;
  EXPECT_TRUE(after(pair.reloadRawSpctmDataRIX()) == kRe && cells(2) == magnitude);
  // Rows taken from the record's own planes stay readable while copied:
  // swapping real and imaginary must not read a row already overwritten.
  EXPECT_EQ(after(pair.addSpctmData2ChannelCWTri(pair.plane[1], pair.plane[0], 3, 2)), kIm);
  EXPECT_EQ(cells(1), kRe);
  EXPECT_TRUE(fill(pair, kRe) == 1 && !pair.plane[1] && !pair.rawPlane[1]);
  ASSERT_EQ(pair.checkInitpctmSpace(2, 4, true, 1, 0), 1);  // reload recreates planes of other extents
  EXPECT_TRUE(after(pair.reloadRawSpctmDataRIX()) == kRe && !pair.plane[1]);
  std::vector<const double*> holed{kRe[0].data(), nullptr, kRe[2].data()};
  EXPECT_TRUE(pair.addSpctmData2ChannelCWTr(holed.data(), 3, 2) == 0 && pair.timePt == 0);
  // Copies own their planes.
  fill(pair, kRe, kIm);
  pair.plane[1][1] = nullptr;
  CSpctmChnChnDatazq copy(pair), assigned;
  copy.plane[0][0][0] = 100.0;
  EXPECT_TRUE(pair.plane[0][0][0] == 1.0 && !copy.plane[1][1] && grid(copy.rawPlane[1], 3, 2) == kIm);
  fill(assigned, {{9}});
  assigned = copy;
  assigned = *&assigned;
  EXPECT_EQ(assigned.plane[0][0][0], 100.0);
  CSpctmChnChnDatazq moved(std::move(assigned));
  EXPECT_EQ(moved.plane[0][2][1], 6.0);
  expectPairFits(moved);
}  // each plane is released once (AddressSanitizer)

TEST_F(PairRecord, FailedAllocationsReportAndKeepRecordConsistent) {
  auto failing = [&](int nth, auto op) {
    messages.clear();
    AllocationFailureScope fail(nth);
    EXPECT_EQ(op(), 0) << nth;
    EXPECT_EQ(messages.only(), "Has enough memory?") << nth;
  };
  failing(1, [] { return CSpctmBasicx::newBufferF2d(2, 2, true) ? 1 : 0; });
  for (int nth : {1, 2}) {
    fill(pair, {{1, 2}});  // other extents: the fill needs new planes
    failing(nth, [&] { return fill(pair, kRe, kIm); });
    EXPECT_TRUE(pair.timePt == 0 && !pair.plane[0] && !pair.plane[1]);
  }
  fill(pair, kRe, kIm);
  {
    // Planes and backup of the same extents take new data in place.
    AllocationFailureScope fail(1);
    EXPECT_EQ(fill(pair, kIm, kRe), 1);
    EXPECT_TRUE(grid(pair.rawPlane[0], 3, 2) == kIm && grid(pair.rawPlane[1], 3, 2) == kRe && !pair.plane[2]);
  }
  pair._cleanBkSpctmData();
  failing(2, [&] { return pair.storeData2Backupfile(); });
  EXPECT_TRUE(grid(pair.rawPlane[0], 3, 2) == kIm && !pair.rawPlane[1]);
  fill(pair, {{1, 2}});
  failing(1, [&] { return pair.computeMagnitude(); });
  EXPECT_TRUE(!pair.plane[2] && cells() == (Grid{{1, 2}}));
  CSpctmChnChnDatazq merged;  // a merge keeps the planes made before the failure
  failing(2, [&] { return merged.addSpctmChnlzq(&source, true); });
  EXPECT_TRUE(grid(merged.plane[0], 2, 3) == kSrcRe && !merged.plane[1]);
}

TEST_F(PairRecord, MagnitudePhasePolarityScaleStdAndStatistics) {
  fill(pair, {{3, -3, 0}}, {{4, 4, -4}});
  ASSERT_EQ(pair.computeMagnitude(), 2);
  EXPECT_EQ(cells(2), (Grid{{5, 5, 4}}));
  EXPECT_EQ(pair.computePhase(), 2);
  EXPECT_NEAR(pair.plane[2][0][0], 0.927295218, 1e-9);
  ASSERT_EQ(pair.setPolarity2Magnitude(1), 1);  // sign of the real part; NaN for 0
  EXPECT_TRUE(pair.plane[2][0][1] == -5.0 && std::isnan(pair.plane[2][0][2]));
  EXPECT_EQ(after(pair.setPolarity2Magnitude(2), 2), (Grid{{5, 5, -4}}));
  EXPECT_EQ(after(pair.setPolarity2Magnitude(7), 2), (Grid{{5, 5, 4}}));
  fill(pair, {{-2}});  // without an imaginary plane
  EXPECT_TRUE(pair.computeMagnitude() == 1 && pair.plane[2][0][0] == 2.0);
  EXPECT_EQ(pair.computePhase(), 1);
  EXPECT_NEAR(pair.plane[2][0][0], -1.107148718, 1e-9);
  EXPECT_TRUE(pair.setPolarity2Magnitude(2) == 0 && pair.plane[2][0][0] == 2.0 && pair.plane[0][0][0] == -2.0);
  fill(pair, {{1, 2}});
  EXPECT_EQ(pair.scaleSpctm(2.0, 3) + pair.scaleSpctm(2.0, 1), 0);
  EXPECT_TRUE(after(pair.scaleSpctm(-2.0, 0)) == (Grid{{-2, -4}}) && pair.rawPlane[0][0][1] == 2.0);
  // Standard deviation over time and statistics of a column or row.
  fill(pair, {{1, 0, 5}, {1, 0, 5}, {3, 0, 5}, {3, 2, 5}});
  int64_t count = -1;
  std::unique_ptr<double[]> sd(pair.getStdR_T1Fn(count));
  ASSERT_EQ(count, 3);
  EXPECT_TRUE(sd[0] == 1.0 && sd[1] == std::sqrt(0.75) && sd[2] == 0.0);
  count = 2;  // frequency 2 overwrites frequency 0
  sd.reset(pair.getStdR_T1Fn(count));
  EXPECT_TRUE(sd[0] == 0.0 && sd[1] == std::sqrt(0.75));
  count = -1;
  EXPECT_TRUE(!pair.getStdI_T1Fn(count) && count == 3);
  using Figures = std::vector<double>;  // minimum, mean, maximum, ..., RMS
  auto stats = [&](bool byFreq, int dataType, int64_t index, int expected) {
    Figures s(5, 9.0);
    EXPECT_EQ(byFreq ? pair.getStatisticF(dataType, index, s[0], s[1], s[2], s[3], s[4])
                     : pair.getStatisticT(dataType, index, s[0], s[1], s[2], s[3], s[4]),
              expected);
    return s;
  };
  fill(pair, {{0, 1}, {0, -3}, {0, 2}});
  EXPECT_EQ(stats(true, 0, 1, 1), (Figures{-3, 0, 2, 2, std::sqrt(14.0 / 3.0)}));
  fill(pair, {{1, 2}, {3, 5}});
  EXPECT_EQ(stats(false, 0, 1, 1), (Figures{3, 4, 5, 4, std::sqrt(17.0)}));
  for (auto [byFreq, dataType, index] : {std::tuple{true, 0, 2}, {true, 5, 0}, {false, 0, -1}, {false, 1, 0}})
    EXPECT_EQ(stats(byFreq, dataType, index, 0), Figures(5, 0.0)) << byFreq << dataType << index;
}

TEST_F(PairRecord, MergeRefusesMismatchesCreatesAccumulatesAndParametersReleasePlanes) {
  EXPECT_EQ(pair.addSpctmChnlzq(&source, false) + pair.addSpctmChnlzq(nullptr, true), 0);
  fill(pair, {{1, 1}, {1, 1}}, {{1, 1}, {1, 1}});
  EXPECT_EQ(pair.addSpctmChnlzq(&source, false) + pair.addSpctmChnlzq(&source, true), 0);
  EXPECT_EQ(cells(), (Grid{{1, 1}, {1, 1}}));
  // Creating the real plane would change the extents under the power/phase plane.
  fill(pair, {{7}});
  ASSERT_EQ(pair.computeMagnitude(), 1);
  CSpctmBasicx::freeBufferF2d(1, 1, pair.plane[0]);
  EXPECT_TRUE(pair.addSpctmChnlzq(&source, true) == 0 && pair.timePt == 1 && !pair.plane[0]);
  EXPECT_EQ(pair.setParameters(nullptr), 0);
  fill(pair, {{1}});
  ASSERT_EQ(pair.setParameters(&source), 1);
  EXPECT_TRUE(pair.timePt == 2 && pair.freqPt == 3 && !pair.plane[0] && pair.rawPlane[0]);
  fill(pair, {{1, 1, 1}, {1, 1, 1}});
  EXPECT_TRUE(pair.setParameters(&source) == 1 && pair.plane[0]);
  pair = CSpctmChnChnDatazq();  // an empty record: the first merge creates
  EXPECT_TRUE(after(pair.addSpctmChnlzq(&source, true)) == kSrcRe && !pair.plane[2] && !pair.rawPlane[0]);
  EXPECT_EQ(after(pair.addSpctmChnlzq(&source, false), 1), (Grid{{-2, 0, 2}, {4, 4, 4}}));
  CSpctmChnChnDatazq realOnly;
  fill(realOnly, kSrcRe);
  EXPECT_EQ(after(pair.addSpctmChnlzq(&realOnly, false)), (Grid{{3, 6, 9}, {12, 15, 18}}));
  EXPECT_TRUE(cells(1) == (Grid{{-2, 0, 2}, {4, 4, 4}}) && grid(source.plane[0], 2, 3) == kSrcRe);
}

}  // namespace
}  // namespace megcxc::test
