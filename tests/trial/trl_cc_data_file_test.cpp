// The trial dataset archive: exact bytes of the newest layout, the older
// layouts, refused headers, hostile sizes and truncation. (Every allocation
// failure of the reader is swept in trl_cc_data_sweep_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/alloc_test_hook.h"
#include "support/prefix_sweep.h"
#include "support/sweep.h"
#include "support/trial_bytes.h"
#include "trial/trial_helpers.h"

namespace megcxc::test {
namespace {

// Every numeric field a different value (11, 12, ..., doubles + 0.5; the bool
// 0), so a reader that swaps two fields fails.
std::vector<double> numbered() {
  std::vector<double> v;
  for (int i = 0; kBasic[i]; ++i)
    v.push_back(kBasic[i] == 'd' ? 11.5 + i : kBasic[i] == 'i' || kBasic[i] == 'l' ? 11 + i : 0);
  return v;
}

// The dataset's basic fields in the order of kBasic (0 for strings and the profile).
std::vector<double> basicFields(const CSpctmTrlCCDatazq& d) {
  return {double(d.auxInt1), double(d.cmptType), double(d.storeType), double(d.auxInt2), double(d.timePt),
          double(d.freqPt), double(d.timeDataLength), double(d.timeDataBegin), double(d.timeDataEnd),
          double(d.timePtOffset), double(d.auxLong1), double(d.timeStep), d.auxValue1, d.auxValue2,
          d.freqFirstHz, d.freqLastHz, double(d.freqAxisLog), d.freqStepHz, d.freqRatio, d.auxFactor1,
          d.auxFactor2, double(d.auxLong2), double(d.auxInt3), double(d.resultType), double(d.auxInt4),
          double(d.selTimeBegin), double(d.selTimeEnd), double(d.selFreqBegin), double(d.selFreqEnd),
          double(d.auxLong3), double(d.auxInt5), double(d.auxInt6), double(d.auxInt7), double(d.auxLong4),
          double(d.auxInt8), double(d.auxInt9), 0, double(d.iconFlag), double(d.listItemId), 0,
          double(d.auxInt10), double(d.auxInt11), d.delay, double(d.auxInt12), 0};
}

// A channel-pair archive with one real plane row of `cells` (none when
// empty), no backup, isSelected set, userTag 0.
Bytes& pairArchive(Bytes& b, int64_t a, int64_t c, const std::vector<double>& cells) {
  b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(a).i64(c);
  b.i64(cells.empty() ? 0 : 1).i64(static_cast<int64_t>(cells.size())).i32(cells.empty() ? 0 : 1);
  if (!cells.empty()) b.i32(1);
  for (double x : cells) b.f64(x);
  return b.i32(0).i32(0).i64(0).i64(0).i32(0).i32(0).i32(0).u8(1).i32(0);
}

// The 2 x 3 dataset whose row 1 is an empty slot: pair (0, c) has chnA 0,
// chnB c and a 1 x 2 real plane {c + 0.5, -c}.
Bytes twoByThree() {
  std::vector<double> v = kFresh;
  v[4] = 1, v[5] = 2;  // timePt, freqPt
  Bytes b = trialHead(v);
  b.i64(2).i64(3).i64(1).i64(2).i32(1).i32(1);
  for (int c = 0; c < 3; ++c) pairArchive(b, 0, c, {c + 0.5, -1.0 * c});
  return b.i32(0);
}

struct TrialArchive : ::testing::Test {
  MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
};

// A fresh dataset, and a 2 x 3 one whose row 1 is an empty slot: exact bytes,
// and reading them back (also over an initialised dataset) writes them again.
TEST_F(TrialArchive, FreshAndEmptyRowSlotDatasetsHaveDocumentedBytesAndReadBack) {
  const auto fresh = trialHead().i64(0).i64(0).i64(0).i64(0).i32(0).bytes();
  EXPECT_EQ(store(ds), fresh);
  CSpctmTrlCCDatazq back, back2;
  ASSERT_EQ(back.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  back.trialName = "old", back.auxValue2 = 9, back.hasImagPlane = 1;
  ASSERT_EQ(load(back, fresh), 1);
  EXPECT_EQ(store(back), fresh);
  EXPECT_TRUE(back.pairMatrix == nullptr && back.rowSnsCount == 0 && messages.texts().empty());
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 3, 1, 2, true, 0, 0, nullptr, nullptr), 1);
  delete[] ds.pairMatrix[1];
  ds.pairMatrix[1] = nullptr;
  for (int c = 0; c < 3; ++c) {
    CSpctmChnChnDatazq& p = ds.pairMatrix[0][c];
    p.chnA = 0, p.chnB = c, p.plane[0][0][0] = c + 0.5, p.plane[0][0][1] = -1.0 * c;
  }
  ds.timePt = 1, ds.freqPt = 2, ds.curActSns = 1, ds.curCxcSns = 2;
  const auto expected = twoByThree().bytes();
  EXPECT_EQ(store(ds), expected);
  ASSERT_EQ(load(back2, expected), 1);  // the pair section has its own reader
  EXPECT_TRUE(back2.pairMatrix && back2.pairMatrix[0] && !back2.pairMatrix[1] && back2.pairMatrix[0][2].chnB == 2);
  EXPECT_EQ(store(back2), expected);
  expectTrialFits(back2);
}

TEST_F(TrialArchive, EveryFieldOfTheNewestBasicSectionLandsInPlace) {
  Bytes b;
  b.str("SPCTMTRIALZQ").i32(20130524);  // the older magic reads the same
  basic(b, numbered(), Form::newest, u"Tr\u00e4l", u"Coh", {1.5, -2.5});
  emptySummaries(b, 7);
  b.i64(4).i64(5).i64(6).i64(7).i32(0);
  ASSERT_EQ(load(ds, b.bytes()), 1);
  EXPECT_EQ(basicFields(ds), numbered());
  EXPECT_TRUE(ds.trialName == CString(u"Tr\u00e4l") && ds.cxcType == "Coh");
  EXPECT_TRUE(ds.freqProfile.size() == 2 && ds.freqProfile[1] == -2.5);
  EXPECT_TRUE(ds.hasRealPlane == 7 && ds.hasImagPlane == 7 && ds.hasPowerPhasePlane == 7);
  EXPECT_TRUE(ds.rowSnsCount == 4 && ds.colSnsCount == 5 && ds.curActSns == 6 && ds.curCxcSns == 7);
  EXPECT_EQ(ds.pairMatrix, nullptr);
  const auto again = store(ds);  // written again under the newest magic
  EXPECT_EQ(std::vector<uint8_t>(again.begin() + 38, again.end()),
            std::vector<uint8_t>(b.bytes().begin() + 28, b.bytes().end()));
}

// Older versions: the fields a layout lacks keep what the dataset held. The
// pair sections: 1 x 1 with flags of 7 (set); square with 2 rows, the first
// absent; square with 3 rows and no matrix.
struct OlderLayout {
  int32_t version;
  Form form;
  const char* lead;
  int64_t rows;
};
const OlderLayout kOlderLayouts[] = {
    {20130514, Form::noAuxValues, nullptr, 1}, {20090726, Form::old, nullptr, 2}, {20130513, Form::old, "Lead", 3}};

Bytes olderTrial(const OlderLayout& row) {
  Bytes b;
  b.str("SPCTM_CXC_TRIALZQ").i32(row.version);
  if (row.lead) b.str(row.lead).i32(-5).i32(-6);
  basic(b, numbered(), row.form, u"Old", u"Coh", {1.5});
  emptySummaries(b);
  if (row.rows == 1) pairArchive(b.i64(1).i64(1).i64(0).i64(0).i32(7).i32(7), 3, 4, {});
  if (row.rows == 2) pairArchive(pairArchive(b.i64(2).i64(1).i64(0).i32(1).i32(0).i32(1), 1, 0, {4}), 1, 1, {5});
  if (row.rows == 3) b.i64(3).i64(0).i64(0).i32(0);
  return b;
}

TEST_F(TrialArchive, OlderVersionsReadTheirLayouts) {
  for (const auto& row : kOlderLayouts) {
    SCOPED_TRACE(row.version);
    const Bytes b = olderTrial(row);
    CSpctmTrlCCDatazq d;
    ASSERT_EQ(d.checkInitSpctmCCData(3, 3, 1, 1, true, 0, 0, nullptr, nullptr), 1);
    d.auxValue1 = -1, d.auxValue2 = -2, d.cxcType = "keep", d.auxInt10 = -10, d.auxInt11 = -11, d.delay = -3;
    d.auxInt12 = -12;
    std::vector<double> expected = numbered();
    expected[kAuxValue1] = -1, expected[kAuxValue1 + 1] = -2;
    if (row.form == Form::old) expected[40] = row.lead ? -5 : -10, expected[41] = row.lead ? -6 : -11;
    if (row.form == Form::old) expected[42] = -3, expected[43] = -12;
    ASSERT_EQ(load(d, b.bytes()), 1);
    EXPECT_EQ(basicFields(d), expected);
    EXPECT_EQ(d.cxcType.toUtf8(), row.form != Form::old ? "Coh" : row.lead ? "Lead" : "keep");
    EXPECT_EQ(d.freqProfile.size(), row.form == Form::old ? 0 : 1);
    EXPECT_EQ(d.rowSnsCount * 10 + d.colSnsCount, row.rows * 11);
    EXPECT_TRUE(row.rows != 1 || (d.pairMatrix[0][0].chnA == 3 && d.pairMatrix[0][0].chnB == 4));
    EXPECT_TRUE(row.rows != 2 || (d.pairMatrix[0] == nullptr && d.pairMatrix[1][1].plane[0][0][0] == 5.0));
    EXPECT_TRUE(row.rows != 3 || d.pairMatrix == nullptr);
    expectTrialFits(d);
  }
}

// The stream up to the pair section's matrix flag, claiming rows x cols.
Bytes claim(int64_t rows, int64_t cols, int32_t matrixFlag) {
  return trialHead().i64(rows).i64(cols).i64(0).i64(0).i32(matrixFlag);
}

// A wrong magic or version is refused with its message and changes nothing;
// declared sizes no machine could hold are refused before anything is
// allocated for them.
TEST_F(TrialArchive, WrongHeadersAndHugeSizesAreRefused) {
  ASSERT_EQ(ds.checkInitSpctmCCData(1, 1, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  CSpctmChnChnDatazq** matrix = ds.pairMatrix;
  const auto full = twoByThree().bytes();
  const std::vector<uint8_t> tail(full.begin() + 42, full.end());
  const struct { const char* magic; int32_t version; } rows[] = {
      {"SPCTM_CXC_TRIALZq", 20130524}, {"SPCTMTRIALZ", 20130524}, {"SPCTM_CXC_TRIALZQ", 20130525}, {"SPCTMTRIALZQ", 0}};
  for (const auto& row : rows)
    EXPECT_EQ(runFailing(0, [&] { return load(ds, Bytes().str(row.magic).i32(row.version).append(tail).bytes()); }),
              returns(0, {row.version == 20130524 ? "The opened file is not SPCTM_CXC_TRIALZQ data or corrupted!"
                                                  : "Wrong trial spectral file format!!?"}));
  EXPECT_TRUE(ds.pairMatrix == matrix && ds.rowSnsCount == 1 && ds.timePt == 0 && ds.trialName == "CxC Data");
  const int64_t huge = int64_t{1} << 40;
  const std::vector<uint8_t> rest(100, 1);
  auto allocationsFor = [&](const Bytes& b, int expected) {
    CSpctmTrlCCDatazq d;
    setAllocationFailureAt(0);
    EXPECT_EQ(load(d, b.bytes()), expected);
    const int64_t n = countedAllocations();
    EXPECT_LT(largestCountedAllocation(), 4096u);
    expectTrialFits(d);
    return n;
  };
  // 2^40 rows cost what an absent matrix costs.
  EXPECT_EQ(allocationsFor(claim(huge, 1, 1).append(rest), 0), allocationsFor(claim(huge, 1, 0), 1));
  EXPECT_EQ(messages.only(), "Is memory enough?!");
  messages.clear();
  // One present row of 2^40 pairs; INT64_MAX rows cannot even be sized.
  EXPECT_EQ(allocationsFor(claim(1, huge, 1).i32(1).append(rest), 0), allocationsFor(claim(1, huge, 1).i32(0), 1));
  EXPECT_TRUE(messages.texts().empty());
  allocationsFor(claim(INT64_MAX, 1, 1), 0);
  EXPECT_EQ(messages.only(), "Is memory enough?!");
}

// Every proper prefix of a trial archive of each version, with summary arrays,
// a profile, pairs and an empty row slot, ends in the end-of-file exception,
// whether or not the stream tells its length.
TEST_F(TrialArchive, EveryProperPrefixEndsInTheEndOfFileException) {
  CSpctmTrlCCDatazq src;
  build(src, 2, 2, 1, 2, 1, 0);
  delete[] src.pairMatrix[1];
  src.pairMatrix[1] = nullptr;
  ASSERT_EQ(src.summaryByDataType[1].checkInit(1, 2), 1);
  ASSERT_NE(src.freqProfile.checkInitData(2, true), nullptr);
  std::vector<std::vector<uint8_t>> archives = {store(src)};
  for (const auto& row : kOlderLayouts) archives.push_back(olderTrial(row).bytes());
  auto read = [](CSpctmTrlCCDatazq& d, CArchive& ar) { return d.serializeTrlSpctmZq(ar); };
  auto check = [](const CSpctmTrlCCDatazq& d) { expectTrialFits(d); };
  for (const auto& bytes : archives) EXPECT_EQ(sweepPrefixes<CSpctmTrlCCDatazq>(bytes, read, check), 2 * bytes.size());
}

// A row's records are read one by one, each consuming what its own reader
// consumed, even when refused pairs end the stream: the valid pair before
// them is kept, each refusal shows its own message, and the result is 1.
TEST_F(TrialArchive, RefusedPairsAtTheEndOfTheStreamKeepTheRow) {
  for (const bool wrongVersion : {false, true}) {
    messages.clear();
    Bytes b = claim(1, 3, 1).i32(1);
    pairArchive(b, 0, 0, {2.5});
    for (int k = 0; k < 2; ++k) {
      if (wrongVersion) b.str("SPCTMCHNLZQ").i32(20130518);
      else b.str("SPCTMCHNLZq");
    }
    CSpctmTrlCCDatazq d;
    CMemFile file(b.bytes());
    CArchive ar(&file, CArchive::load);
    ASSERT_EQ(d.serializeTrlSpctmZq(ar), 1) << wrongVersion;
    EXPECT_EQ(ar.bytesRemaining(), 0);
    const std::string refused = wrongVersion ? "This is error in opening channel spectral data!!!?"
                                             : "This is error in opening channel spectral data!";
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{refused, refused}));
    ASSERT_TRUE(d.pairMatrix && d.pairMatrix[0]);
    EXPECT_EQ(d.pairMatrix[0][0].plane[0][0][0], 2.5);
    EXPECT_TRUE(!d.pairMatrix[0][1].plane[0] && !d.pairMatrix[0][2].plane[0]);
  }
}

}  // namespace
}  // namespace megcxc::test
