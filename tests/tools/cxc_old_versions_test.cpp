// info, export, upgrade and process on a file of an older layout, built byte
// by byte here: a trial archive of version 20090726 (old basic form, old
// square pair form, channel pairs of version 20090726) inside a collection
// with the old magic, and on its own. The library's reading of every older
// trial layout: trl_cc_data_file_test (OlderVersionsReadTheirLayouts).
#include <gtest/gtest.h>

#include "cxc_test_support.h"
#include "support/bytes.h"

using namespace cxc_test;
using megcxc::test::Bytes;

namespace {

constexpr int64_t kSensors = 2, kTime = 2, kFreq = 3;

double realValue(int64_t r, int64_t c, int64_t t, int64_t f) { return 100.0 * r + 10.0 * c + 2.0 * t + f; }
double imagValue(int64_t r, int64_t c, int64_t t, int64_t f) { return -(r + 1.0) * (t + 1.0) - 0.5 * c * f; }

// A plane block: presence flag, then a row flag and the row per time point.
void plane(Bytes& b, int64_t r, int64_t c, bool imag) {
  b.i32(1);
  for (int64_t t = 0; t < kTime; ++t) {
    b.i32(1);
    for (int64_t f = 0; f < kFreq; ++f) b.f64(imag ? imagValue(r, c, t, f) : realValue(r, c, t, f));
  }
}

// Channel-pair archive of version 20090726 (no isSelected / userTag).
void oldPair(Bytes& b, int64_t r, int64_t c) {
  b.str("SPCTMCHNLZQ").i32(20090726);
  b.f64(0.0).f64(0.0).f64(0.0).i64(r).i64(c);
  for (int copy = 0; copy < 2; ++copy) {  // working planes, then the raw ones
    b.i64(kTime).i64(kFreq);
    plane(b, r, c, false);
    plane(b, r, c, true);
    b.i32(0);
  }
}

void emptySummary(Bytes& b) {
  b.str("SUMCCSPCTMDATA").i32(20130514).i64(0).i64(0);
  for (int k = 0; k < 6; ++k) b.i32(0);
  b.i32(0).i64(0);
  for (int k = 0; k < 12; ++k) b.f64(0.0);
}

// Trial archive of version 20090726 with the magic the old writer used.
Bytes oldTrial() {
  Bytes b;
  b.str("SPCTMTRIALZQ").i32(20090726);
  // B1..B12 (no auxValue1/2 in these versions).
  b.i32(0).i32(0).i32(1).i32(1);
  b.i64(kTime).i64(kFreq).i64(40).i64(100).i64(140).i64(0).i64(0).i64(20);
  // B15..B39: axis 4, 6, 8 Hz.
  b.f64(4.0).f64(8.0).i32(0).f64(2.0).f64(1.0).f64(1.0).f64(1.0).i64(0);
  b.i32(0).i32(0).i32(0);
  b.i64(0).i64(1).i64(0).i64(2).i64(0);
  b.i32(1).i32(0).i32(1).i64(0).i32(1).i32(0);
  b.str("Legacy").u8(1).i32(0);
  b.i32(1).i32(1).i32(0);
  for (int k = 0; k < 3; ++k) emptySummary(b);
  b.i64(kSensors);  // the square matrix has no column count
  b.i64(0).i64(0).i32(1);
  for (int64_t r = 0; r < kSensors; ++r) {
    b.i32(1);
    for (int64_t c = 0; c < kSensors; ++c) oldPair(b, r, c);
  }
  return b;
}

Bytes oldCollection() {
  Bytes b;
  b.str("SPCTMFACEZQ").i32(20110729).i32(0).i32(0).str("Legacy collection").i32(1);
  b.append(oldTrial().bytes()).i32(0).i32(0);
  return b;
}

class CxcOldVersionTest : public CxcTest {
 protected:
  // The exported active_cross.npy holds exactly the values written above.
  void expectPlanes(const std::string& folder) {
    const Npy cross = npy(folder + "/active_cross.npy");
    ASSERT_EQ(cross.shape, (std::vector<int64_t>{kSensors, kSensors, kTime, kFreq}));
    ASSERT_EQ(cross.values.size(), static_cast<std::size_t>(2 * kSensors * kSensors * kTime * kFreq));
    for (int64_t i = 0; i < kSensors * kSensors * kTime * kFreq; ++i) {
      const int64_t r = i / (kSensors * kTime * kFreq), c = i / (kTime * kFreq) % kSensors, t = i / kFreq % kTime;
      EXPECT_EQ(cross.values[2 * i], realValue(r, c, t, i % kFreq)) << i;
      EXPECT_EQ(cross.values[2 * i + 1], imagValue(r, c, t, i % kFreq)) << i;
    }
    EXPECT_EQ(npy(folder + "/active_freqs.npy").values, (std::vector<double>{4.0, 6.0, 8.0}));
    EXPECT_EQ(npy(folder + "/active_times.npy").values, (std::vector<double>{100.0, 120.0}));
  }
};

TEST_F(CxcOldVersionTest, CollectionAndSingleTrialAreReadExportedUpgradedAndProcessed) {
  writeBytes(dir / "old.cxc", oldCollection().bytes());
  ASSERT_TRUE(ok({"info", "old.cxc", "--json"}));
  // The square old pair form sets the column count from the row count.
  expectHas(last.out, {"\"magic\": \"SPCTMFACEZQ\"", "\"name\": \"Legacy\"",
                       "\"sensors\": [2, 2], \"time_points\": 2, \"freq_points\": 3",
                       "\"cxc_type\": \"None\""});
  ASSERT_TRUE(ok({"export", "old.cxc", "-o", "e"}));
  expectPlanes("e");
  ASSERT_TRUE(ok({"upgrade", "old.cxc", "new.cxc"}));
  expectHas(last.out, {"(SPCTMFACEZQ 20110729) -> new.cxc (SPCTM_CXC_FACEZQ 20110729)"});
  ASSERT_TRUE(ok({"export", "new.cxc", "-o", "n"}));
  expectPlanes("n");
  ASSERT_TRUE(ok({"process", "old.cxc", "-o", "old.cxc", "--magnitude", "--summaries"}));
  ASSERT_TRUE(ok({"info", "old.cxc"}));
  expectHas(last.out, {"summary power 4 pairs"});

  // The trial archive on its own is upgraded as a trial archive.
  writeBytes(dir / "old.trl", oldTrial().bytes());
  ASSERT_TRUE(ok({"info", "old.trl"}));
  expectHas(last.out, {"single trial archive, magic SPCTMTRIALZQ, version 20090726"});
  ASSERT_TRUE(ok({"upgrade", "old.trl", "new.trl"}));
  const std::vector<uint8_t> head = Bytes().str("SPCTM_CXC_TRIALZQ").i32(20130524).bytes();
  std::vector<uint8_t> upgraded = readBytes(dir / "new.trl");
  upgraded.resize(std::min(upgraded.size(), head.size()));
  EXPECT_EQ(upgraded, head);
  ASSERT_TRUE(ok({"export", "new.trl", "-o", "t"}));
  expectPlanes("t");
  // A trial archive is not a collection: processing it is refused.
  expectFailure({"process", "new.trl", "-o", "x.cxc", "--phase"}, 1, "new.trl: is a single trial archive", "x.cxc");
}

}  // namespace
