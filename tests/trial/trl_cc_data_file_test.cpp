// The trial dataset archive: exact bytes of the newest layout, the older
// layouts, refused headers, hostile sizes and allocation failures (truncation:
// the collection tests cut a file holding trial archives at every byte).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "support/bytes.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::test {
namespace {

// Basic-section values in stream order; the defaults are those of a freshly
// constructed dataset.
struct Basic {
  int32_t auxInt1 = 0, cmptType = 1, storeType = 0, auxInt2 = 1;
  int64_t timePt = 0, freqPt = 0, tdLength = 0, tdBegin = 0, tdEnd = 0, ptOffset = 0, auxLong1 = 0,
          timeStep = 1;
  double auxValue1 = 0, auxValue2 = 0, freqFirst = 0, freqLast = 0;
  int32_t freqAxisLog = 0;
  double freqStep = 1, freqRatio = 1, auxFactor1 = 1, auxFactor2 = 1;
  int64_t auxLong2 = 0;
  int32_t auxInt3 = 0, resultType = 0, auxInt4 = 0;
  int64_t selTB = 0, selTE = 0, selFB = 0, selFE = 0, auxLong3 = 0;
  int32_t auxInt5 = 1, auxInt6 = 0, auxInt7 = 1;
  int64_t auxLong4 = 0;
  int32_t auxInt8 = 1, auxInt9 = 0;
  std::u16string name = u"CxC Data";
  uint8_t icon = 1;
  int32_t listId = 0;
  std::u16string cxcType = u"None";
  int32_t auxInt10 = 0, auxInt11 = 0;
  double delay = 0;
  int32_t auxInt12 = 0;
  std::vector<double> profile;
};

// Every field a different value, so a reader that swaps two fields fails.
Basic numbered() {
  return Basic{11,   12,   13,   14,   15, 16, 17, 18, 19, 20, 21, 22, 23.5, 24.5, 25.5, 26.5, 27, 28.5,
               29.5, 30.5, 31.5, 32,   33, 34, 35, 36, 37, 38, 39, 40, 41,   42,   43,   44,   45, 46,
               u"Tr\u00e4l", 0, 47, u"Coh", 48, 49, 50.5, 51, {1.5, -2.5}};
}

enum class Form { newest, noAuxValues, old };

void basic(Bytes& b, const Basic& v, Form form) {
  b.i32(v.auxInt1).i32(v.cmptType).i32(v.storeType).i32(v.auxInt2).i64(v.timePt).i64(v.freqPt);
  b.i64(v.tdLength).i64(v.tdBegin).i64(v.tdEnd).i64(v.ptOffset).i64(v.auxLong1).i64(v.timeStep);
  if (form == Form::newest) b.f64(v.auxValue1).f64(v.auxValue2);
  b.f64(v.freqFirst).f64(v.freqLast).i32(v.freqAxisLog).f64(v.freqStep).f64(v.freqRatio);
  b.f64(v.auxFactor1).f64(v.auxFactor2).i64(v.auxLong2).i32(v.auxInt3).i32(v.resultType).i32(v.auxInt4);
  b.i64(v.selTB).i64(v.selTE).i64(v.selFB).i64(v.selFE).i64(v.auxLong3);
  b.i32(v.auxInt5).i32(v.auxInt6).i32(v.auxInt7).i64(v.auxLong4).i32(v.auxInt8).i32(v.auxInt9);
  b.str(v.name).u8(v.icon).i32(v.listId);
  if (form == Form::old) return;
  b.str(v.cxcType).i32(v.auxInt10).i32(v.auxInt11).f64(v.delay).i32(v.auxInt12);
  b.str("MMATRIX1D").i32(20250301).i64(0).i64(static_cast<int64_t>(v.profile.size()));
  for (double x : v.profile) b.f64(x);
}

// The three plane flags and three empty summary archives (184 bytes each).
void emptySummaries(Bytes& b, int32_t flags = 0) {
  b.i32(flags).i32(flags).i32(flags);
  for (int s = 0; s < 3; ++s) {
    b.str("SUMCCSPCTMDATA").i32(20130514).i64(0).i64(0);
    for (int k = 0; k < 6; ++k) b.i32(0);
    b.i32(0).i64(0);
    for (int k = 0; k < 12; ++k) b.f64(0);
  }
}

// A channel-pair archive with only a real plane of rows.size() x cols cells
// (no plane when rows is empty), no backup, isSelected set, userTag 0.
void pairArchive(Bytes& b, int64_t a, int64_t c, const std::vector<std::vector<double>>& rows) {
  const int64_t cols = rows.empty() ? 0 : static_cast<int64_t>(rows[0].size());
  b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(a).i64(c);
  b.i64(static_cast<int64_t>(rows.size())).i64(cols).i32(rows.empty() ? 0 : 1);
  for (const auto& r : rows) {
    b.i32(1);
    for (double x : r) b.f64(x);
  }
  b.i32(0).i32(0).i64(0).i64(0).i32(0).i32(0).i32(0).u8(1).i32(0);
}

Bytes header(int32_t version, const char* magic = "SPCTM_CXC_TRIALZQ") {
  Bytes b;
  b.str(magic).i32(version);
  return b;
}

// The 2 x 3 dataset whose row 1 is an empty slot: pair (0, c) has chnA 0,
// chnB c and a 1 x 2 real plane {c + 0.5, -c}.
Bytes twoByThree() {
  Bytes b = header(20130524);
  Basic v;
  v.timePt = 1, v.freqPt = 2;
  basic(b, v, Form::newest);
  emptySummaries(b);
  b.i64(2).i64(3).i64(1).i64(2).i32(1).i32(1);
  for (int c = 0; c < 3; ++c) pairArchive(b, 0, c, {{c + 0.5, -1.0 * c}});
  return b.i32(0);
}

// Every present row and pair can be walked over the dataset's counts, every
// plane over its pair's extents (AddressSanitizer checks each access), and the
// summaries fit their counts.
void expectConsistent(CSpctmTrlCCDatazq& d) {
  for (const auto& s : d.summaryByDataType) EXPECT_TRUE(s.arraysFitCounts());
  volatile double sink = 0;
  for (int64_t r = 0; d.pairMatrix && r < d.rowSnsCount; ++r) {
    for (int64_t c = 0; d.pairMatrix[r] && c < d.colSnsCount; ++c) {
      const CSpctmChnChnDatazq& p = d.pairMatrix[r][c];
      for (int k = 0; k < 3; ++k) {
        if (p.plane[k]) {
          ASSERT_TRUE(p.timePt >= 1 && p.freqPt >= 1);
          for (int64_t i = 0; i < p.timePt * p.freqPt; ++i) sink = sink + planeData(p.plane[k], p.timePt)[i];
        }
      }
    }
  }
  CSpctmTrlCCDatazq copy(d);
  EXPECT_EQ(copy.scaleSpctmAllDataType4Class(2.0), d.pairMatrix ? 1 : 0);
  double mn = 0, mx = 0;
  EXPECT_EQ(copy.getSpctmRange4AllChnl(&mn, &mx, 1, 0), 1);
  copy.reloadSpctmDataTrl();
  copy.getValueSelectTimFrq(-1, -1, 0);
}

class TrialArchive : public ::testing::Test {
 protected:
  void SetUp() override { setAllocationFailureAt(0); }
  static std::vector<uint8_t> store(CSpctmTrlCCDatazq& d) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(d.serializeTrlSpctmZq(ar), 1);
    return file.bytes();
  }
  static int load(CSpctmTrlCCDatazq& d, const std::vector<uint8_t>& bytes) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    return d.serializeTrlSpctmZq(ar);
  }
  MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialArchive, FreshDatasetHasDocumentedBytesAndReadsBack) {
  Bytes expected = header(20130524);
  basic(expected, Basic{}, Form::newest);
  emptySummaries(expected);
  expected.i64(0).i64(0).i64(0).i64(0).i32(0);
  EXPECT_EQ(expected.size(), 38u + 4 + 293 + 42 + 12 + 3 * 184 + 36);
  EXPECT_EQ(store(ds), expected.bytes());

  CSpctmTrlCCDatazq back;
  ASSERT_EQ(back.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  back.trialName = "old", back.auxValue2 = 9, back.hasImagPlane = 1;
  ASSERT_EQ(load(back, expected.bytes()), 1);
  EXPECT_EQ(store(back), expected.bytes());
  EXPECT_TRUE(back.pairMatrix == nullptr && back.rowSnsCount == 0 && back.auxValue2 == 0);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TrialArchive, EmptyRowSlotIsWrittenAsFlagZeroAndReadBackEmpty) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 3, 1, 2, true, 0, 0, nullptr, nullptr), 1);
  delete[] ds.pairMatrix[1];
  ds.pairMatrix[1] = nullptr;
  for (int c = 0; c < 3; ++c) {
    CSpctmChnChnDatazq& p = ds.pairMatrix[0][c];
    p.chnA = 0, p.chnB = c;
    p.plane[0][0][0] = c + 0.5, p.plane[0][0][1] = -1.0 * c;
  }
  ds.timePt = 1, ds.freqPt = 2, ds.curActSns = 1, ds.curCxcSns = 2;
  const auto expected = twoByThree().bytes();
  EXPECT_EQ(store(ds), expected);

  CSpctmTrlCCDatazq back;
  ASSERT_EQ(load(back, expected), 1);
  ASSERT_TRUE(back.pairMatrix && back.pairMatrix[0] && !back.pairMatrix[1]);
  EXPECT_TRUE(back.rowSnsCount == 2 && back.colSnsCount == 3 && back.curActSns == 1 && back.curCxcSns == 2);
  EXPECT_EQ(back.pairMatrix[0][2].chnB, 2);
  EXPECT_EQ(back.pairMatrix[0][2].plane[0][0][0], 2.5);
  EXPECT_EQ(back.pairMatrix[0][1].plane[0][0][1], -1.0);
  expectConsistent(back);
}

TEST_F(TrialArchive, EveryFieldOfTheNewestBasicSectionLandsInPlace) {
  const Basic v = numbered();
  Bytes b = header(20130524, "SPCTMTRIALZQ");
  basic(b, v, Form::newest);
  emptySummaries(b, 7);
  b.i64(4).i64(5).i64(6).i64(7).i32(0);
  ASSERT_EQ(load(ds, b.bytes()), 1);
  EXPECT_TRUE(ds.auxInt1 == 11 && ds.cmptType == 12 && ds.storeType == 13 && ds.auxInt2 == 14);
  EXPECT_TRUE(ds.timePt == 15 && ds.freqPt == 16 && ds.timeDataLength == 17 && ds.timeDataBegin == 18);
  EXPECT_TRUE(ds.timeDataEnd == 19 && ds.timePtOffset == 20 && ds.auxLong1 == 21 && ds.timeStep == 22);
  EXPECT_TRUE(ds.auxValue1 == 23.5 && ds.auxValue2 == 24.5 && ds.freqFirstHz == 25.5 && ds.freqLastHz == 26.5);
  EXPECT_TRUE(ds.freqAxisLog == 27 && ds.freqStepHz == 28.5 && ds.freqRatio == 29.5);
  EXPECT_TRUE(ds.auxFactor1 == 30.5 && ds.auxFactor2 == 31.5 && ds.auxLong2 == 32);
  EXPECT_TRUE(ds.auxInt3 == 33 && ds.resultType == 34 && ds.auxInt4 == 35);
  EXPECT_TRUE(ds.selTimeBegin == 36 && ds.selTimeEnd == 37 && ds.selFreqBegin == 38 && ds.selFreqEnd == 39);
  EXPECT_TRUE(ds.auxLong3 == 40 && ds.auxInt5 == 41 && ds.auxInt6 == 42 && ds.auxInt7 == 43);
  EXPECT_TRUE(ds.auxLong4 == 44 && ds.auxInt8 == 45 && ds.auxInt9 == 46);
  EXPECT_TRUE(ds.trialName == CString(u"Tr\u00e4l") && !ds.iconFlag && ds.listItemId == 47);
  EXPECT_TRUE(ds.cxcType == "Coh" && ds.auxInt10 == 48 && ds.auxInt11 == 49);
  EXPECT_TRUE(ds.delay == 50.5 && ds.auxInt12 == 51);
  EXPECT_TRUE(ds.freqProfile.size() == 2 && ds.freqProfile[1] == -2.5);
  EXPECT_TRUE(ds.hasRealPlane == 7 && ds.hasImagPlane == 7 && ds.hasPowerPhasePlane == 7);
  EXPECT_TRUE(ds.rowSnsCount == 4 && ds.colSnsCount == 5 && ds.curActSns == 6 && ds.curCxcSns == 7);
  EXPECT_EQ(ds.pairMatrix, nullptr);
  // Written again under the newest magic.
  const auto again = store(ds);
  EXPECT_EQ(std::vector<uint8_t>(again.begin() + 38, again.end()),
            std::vector<uint8_t>(b.bytes().begin() + 28, b.bytes().end()));
}

TEST_F(TrialArchive, Version20130514LeavesAuxValuesUntouched) {
  Bytes b = header(20130514);
  basic(b, numbered(), Form::noAuxValues);
  emptySummaries(b);
  b.i64(1).i64(1).i64(0).i64(0).i32(7).i32(7);
  pairArchive(b, 3, 4, {});
  ds.auxValue1 = -1, ds.auxValue2 = -2;
  ASSERT_EQ(load(ds, b.bytes()), 1);
  EXPECT_TRUE(ds.auxValue1 == -1 && ds.auxValue2 == -2);
  EXPECT_TRUE(ds.freqFirstHz == 25.5 && ds.auxInt12 == 51 && ds.freqProfile.size() == 2);
  ASSERT_TRUE(ds.pairMatrix && ds.pairMatrix[0]);
  EXPECT_TRUE(ds.pairMatrix[0][0].chnA == 3 && ds.pairMatrix[0][0].chnB == 4);
}

TEST_F(TrialArchive, Version20090726ReadsASquareMatrixAndKeepsNewerFields) {
  Bytes b = header(20090726);
  basic(b, numbered(), Form::old);
  emptySummaries(b);
  b.i64(2).i64(1).i64(0).i32(1).i32(0).i32(1);
  pairArchive(b, 1, 0, {{4}});
  pairArchive(b, 1, 1, {{5}});
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  ds.cxcType = "keep", ds.auxInt10 = -10, ds.auxInt11 = -11, ds.delay = -3, ds.auxInt12 = -12;
  ds.auxValue1 = -1, ds.auxValue2 = -2;
  ASSERT_EQ(load(ds, b.bytes()), 1);
  EXPECT_TRUE(ds.rowSnsCount == 2 && ds.colSnsCount == 2 && ds.curActSns == 1 && ds.curCxcSns == 0);
  ASSERT_TRUE(ds.pairMatrix && !ds.pairMatrix[0] && ds.pairMatrix[1]);
  EXPECT_EQ(ds.pairMatrix[1][1].plane[0][0][0], 5.0);
  EXPECT_TRUE(ds.cxcType == "keep" && ds.auxInt10 == -10 && ds.auxInt11 == -11 && ds.delay == -3);
  EXPECT_TRUE(ds.auxInt12 == -12 && ds.auxValue1 == -1 && ds.auxValue2 == -2 && ds.freqProfile.size() == 0);
  EXPECT_TRUE(ds.listItemId == 47 && ds.auxInt9 == 46);
  expectConsistent(ds);
}

TEST_F(TrialArchive, Version20130513ReadsThreeLeadingFieldsFirst) {
  Bytes b = header(20130513, "SPCTMTRIALZQ");
  b.str("Lead").i32(-5).i32(-6);
  basic(b, numbered(), Form::old);
  emptySummaries(b);
  b.i64(3).i64(0).i64(0).i32(0);
  ASSERT_EQ(load(ds, b.bytes()), 1);
  EXPECT_TRUE(ds.cxcType == "Lead" && ds.auxInt10 == -5 && ds.auxInt11 == -6 && ds.auxInt12 == 0);
  EXPECT_TRUE(ds.rowSnsCount == 3 && ds.colSnsCount == 3 && ds.pairMatrix == nullptr);
}

TEST_F(TrialArchive, WrongMagicOrVersionLeavesTheDatasetUntouched) {
  ASSERT_EQ(ds.checkInitSpctmCCData(1, 1, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  CSpctmChnChnDatazq** matrix = ds.pairMatrix;
  const auto full = twoByThree().bytes();
  const std::vector<uint8_t> tail(full.begin() + 38, full.end());
  for (const char* magic : {"SPCTM_CXC_TRIALZq", "SPCTMTRIALZ", "SPCTM_CXC_FACEZQ"}) {
    ASSERT_EQ(load(ds, Bytes().str(magic).append(tail).bytes()), 0);
    EXPECT_EQ(messages.only(), "The opened file is not SPCTM_CXC_TRIALZQ data or corrupted!");
    messages.clear();
  }
  for (int32_t version : {20130525, 20130523, 0}) {
    Bytes b = header(version);
    ASSERT_EQ(load(ds, b.append(std::vector<uint8_t>(full.begin() + 42, full.end())).bytes()), 0);
    EXPECT_EQ(messages.only(), "Wrong trial spectral file format!!?");
    messages.clear();
  }
  EXPECT_TRUE(ds.pairMatrix == matrix && ds.rowSnsCount == 1 && ds.timePt == 0 && ds.trialName == "CxC Data");
}

// The stream up to the pair section's matrix flag, claiming rows x cols.
Bytes claim(int64_t rows, int64_t cols, int32_t matrixFlag) {
  Bytes b = header(20130524);
  basic(b, Basic{}, Form::newest);
  emptySummaries(b);
  return b.i64(rows).i64(cols).i64(0).i64(0).i32(matrixFlag);
}

TEST_F(TrialArchive, DeclaredSizesBeyondTheStreamAllocateNothing) {
  const int64_t huge = int64_t{1} << 40;
  auto allocationsFor = [&](const Bytes& b, int expected) {
    CSpctmTrlCCDatazq d;
    setAllocationFailureAt(0);
    EXPECT_EQ(load(d, b.bytes()), expected);
    const int64_t n = countedAllocations();
    expectConsistent(d);
    return n;
  };
  // 2^40 rows with 100 bytes left.
  Bytes rows = claim(huge, 1, 1).append(std::vector<uint8_t>(100, 1));
  EXPECT_EQ(allocationsFor(rows, 0), allocationsFor(claim(huge, 1, 0), 1));
  EXPECT_EQ(messages.only(), "Is memory enough?!");
  messages.clear();
  // One present row of 2^40 pairs; INT64_MAX rows cannot even be sized.
  Bytes cols = claim(1, huge, 1).i32(1).append(std::vector<uint8_t>(100, 1));
  Bytes absent = claim(1, huge, 1).i32(0);
  EXPECT_EQ(allocationsFor(cols, 0), allocationsFor(absent, 1));
  EXPECT_TRUE(messages.texts().empty());
  CSpctmTrlCCDatazq d;
  EXPECT_EQ(load(d, claim(INT64_MAX, 1, 1).bytes()), 0);
  EXPECT_EQ(messages.only(), "Is memory enough?!");
}

TEST_F(TrialArchive, EveryAllocationFailureKeepsTheDatasetConsistent) {
  Bytes b = header(20130524);
  basic(b, Basic{}, Form::newest);
  emptySummaries(b);
  b.i64(2).i64(1).i64(0).i64(0).i32(1).i32(1);
  pairArchive(b, 0, 0, {{1, 2}});
  b.i32(1);
  pairArchive(b, 1, 0, {{3, 4}});
  bool tableFailed = false, secondRowFailed = false;
  for (int64_t k = 1;; ++k) {
    CSpctmTrlCCDatazq d;
    messages.clear();
    int result;
    {
      AllocationFailureScope fail(k);
      try {
        result = load(d, b.bytes());
      } catch (const CException&) {
        result = -1;  // a string could not be allocated, or a refused pair left the stream misaligned
      }
      if (countedAllocations() < k) break;
    }
    expectConsistent(d);
    if (result == 0 && !messages.texts().empty() && messages.texts().back() == "Is memory enough?!") {
      tableFailed = d.pairMatrix == nullptr && d.rowSnsCount == 2;
    }
    if (result == 0 && messages.texts().empty() && d.pairMatrix && d.pairMatrix[0] && !d.pairMatrix[1]) {
      secondRowFailed = d.pairMatrix[0][0].plane[0][0][1] == 2.0;
    }
  }
  EXPECT_TRUE(tableFailed);
  EXPECT_TRUE(secondRowFailed);
}

}  // namespace
}  // namespace megcxc::test
