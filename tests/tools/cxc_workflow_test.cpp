// The README's path through cxc, run on the built binary: demo -> info ->
// report -> export -> import -> upgrade; import of hand-written .npy files;
// process on small imported spectra. Outputs are checked against numbers the
// tests work out themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "cxc_test_support.h"

using namespace cxc_test;

namespace {

class CxcWorkflowTest : public CxcTest {};

TEST_F(CxcWorkflowTest, DemoInfoReportExportImportAndUpgrade) {
  const std::vector<std::string> demoArgs = {"demo", "--sensors", "8", "--time", "6", "--freq", "12", "-o", "demo.cxc"};
  ASSERT_TRUE(ok(demoArgs));
  const std::vector<uint8_t> demoBytes = readBytes(dir / "demo.cxc");
  ASSERT_TRUE(ok(demoArgs));
  EXPECT_EQ(readBytes(dir / "demo.cxc"), demoBytes) << "the demo differs between runs";

  // The printed strongest A-C effect is the largest off-diagonal A-C
  // magnitude of the export [8][8][6][12].
  long long a = -1, b = -1, t = -1;
  double hz = 0.0, value = 0.0;
  const std::size_t line = last.out.find("strongest active-control effect: ");
  ASSERT_NE(line, std::string::npos) << last.out;
  ASSERT_EQ(std::sscanf(last.out.c_str() + line,
                        "strongest active-control effect: sensors %lld x %lld at %lf Hz, time point %lld: %lf", &a, &b,
                        &hz, &t, &value),
            5);
  ASSERT_TRUE(ok({"export", "demo.cxc", "-o", "ac", "--class", "act-ctl", "--type", "power"}));
  const Npy power = npy("ac/act-ctl_power.npy");
  ASSERT_EQ(power.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  long long best = 72;  // pair (0, 1)
  for (long long k = 0; k < static_cast<long long>(power.values.size()); ++k) {
    if (k / 576 != k / 72 % 8 && power.values[k] > power.values[best]) best = k;
  }
  EXPECT_EQ(std::vector<long long>({a, b, t}), std::vector<long long>({best / 576, best / 72 % 8, best / 12 % 6}));
  EXPECT_NEAR(npy("ac/act-ctl_freqs.npy").values[best % 12], hz, 0.05);
  EXPECT_NEAR(power.values[best], value, 0.0005);

  ASSERT_TRUE(ok({"info", "demo.cxc"}));
  expectHas(last.out, {"magic SPCTM_CXC_FACEZQ, version 20110729", "linear, 2.000 .. 40.000 Hz"});
  ASSERT_TRUE(ok({"info", "demo.cxc", "--json"}));
  // Active keeps 6 time points, the control was collapsed to 1 for A-C;
  // summaries over all 64 pairs.
  expectHas(last.out, {"\"class\": \"active\", \"name\": \"Active CxC\", \"computation\": \"CWT\"",
                       "\"sensors\": [8, 8], \"time_points\": 6, \"freq_points\": 12",
                       "\"sensors\": [8, 8], \"time_points\": 1, \"freq_points\": 12", "\"power\": {\"pairs\": 64"});

  // One line per frequency (or time) point and a closing "All Time-Freq:" line.
  ASSERT_TRUE(ok({"report", "demo.cxc", "--class", "active", "--type", "real"}));
  EXPECT_EQ(lineCount(last.out), 12 + 1);
  EXPECT_EQ(last.out.rfind("Active CxC: 2.000000 ", 0), 0u) << last.out;

  ASSERT_TRUE(ok({"export", "demo.cxc", "-o", "a", "--class", "active"}));
  const Npy cross = npy("a/active_cross.npy");
  EXPECT_EQ(cross.descr, "<c16");
  EXPECT_FALSE(cross.fortranOrder);
  EXPECT_EQ(cross.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  ASSERT_EQ(cross.values.size(), 8u * 8 * 6 * 12 * 2);
  ASSERT_TRUE(ok({"import", "back.cxc", "--class", "active", "--data", "a/active_cross.npy", "--freqs",
                  "a/active_freqs.npy", "--times", "a/active_times.npy"}));
  ASSERT_TRUE(ok({"export", "back.cxc", "-o", "b"}));
  EXPECT_EQ(npy("b/active_cross.npy").values, cross.values);
  EXPECT_EQ(npy("b/active_times.npy").values, npy("a/active_times.npy").values);
  const std::vector<double> f1 = npy("a/active_freqs.npy").values, f2 = npy("b/active_freqs.npy").values;
  ASSERT_EQ(f2.size(), f1.size());
  for (std::size_t k = 0; k < f1.size(); ++k) EXPECT_NEAR(f2[k], f1[k], 1e-12 * f1[k]);

  // A file of the newest layout is rewritten unchanged.
  ASSERT_TRUE(ok({"upgrade", "demo.cxc", "up.cxc"}));
  expectHas(last.out, {"-> up.cxc (SPCTM_CXC_FACEZQ 20110729)"});
  EXPECT_EQ(readBytes(dir / "up.cxc"), demoBytes);
}

TEST_F(CxcWorkflowTest, ImportReadsAxesAndReplacesOnlyItsClass) {
  // The sft layout: cxc_seconds_names_test. Geometric frequencies are recognised and exported back.
  writeNpy(dir / "d.npy", "<c16", {1, 1, 1, 4}, {1, 0, 2, 0, 3, 0, 4, 0});
  writeNpy(dir / "f.npy", "<f8", {4}, {2.0, 4.0, 8.0, 16.0});
  ASSERT_TRUE(ok({"import", "geo.cxc", "--class", "active", "--data", "d.npy", "--freqs", "f.npy", "--cmpt", "GBT"}));
  ASSERT_TRUE(ok({"info", "geo.cxc", "--json"}));
  expectHas(last.out, {"\"computation\": \"GBT\"", "\"scale\": \"geometric\"", "\"ratio\": 2"});
  ASSERT_TRUE(ok({"export", "geo.cxc", "-o", "g"}));
  const std::vector<double> f = npy("g/active_freqs.npy").values;
  ASSERT_EQ(f.size(), 4u);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(f[static_cast<std::size_t>(k)], std::ldexp(2.0, k), 1e-12);

  // Importing into an existing collection replaces only that class.
  writeNpy(dir / "seven.npy", "<f8", {1, 1, 1, 1}, {7});
  writeNpy(dir / "nine.npy", "<f8", {1, 1, 1, 1}, {9});
  ASSERT_TRUE(ok({"import", "out.cxc", "--class", "active", "--data", "seven.npy"}));
  ASSERT_TRUE(ok({"import", "out.cxc", "--class", "control", "--data", "nine.npy"}));
  ASSERT_TRUE(ok({"import", "out.cxc", "--class", "control", "--data", "seven.npy", "-o", "other.cxc"}));
  ASSERT_TRUE(ok({"export", "out.cxc", "-o", "e"}));
  ASSERT_TRUE(ok({"export", "other.cxc", "-o", "o"}));
  EXPECT_EQ(npy("e/active_real.npy").values, std::vector<double>{7});
  EXPECT_EQ(npy("e/control_real.npy").values, std::vector<double>{9});
  EXPECT_EQ(npy("o/control_real.npy").values, std::vector<double>{7});
}

// Active and control of one pair, 2 time x 2 frequency points, cells 1 2 / 3 4:
// A-C is the active minus the control's time mean (2, 3). The arithmetic of
// every step against NumPy: python/tests/test_steps.py.
TEST_F(CxcWorkflowTest, ProcessAsksBeforeCollapsingTheControlAndClassAimsTheSteps) {
  writeNpy(dir / "in.npy", "<c16", {1, 1, 2, 2}, {1, 0, 2, 0, 3, 0, 4, 0});
  ASSERT_TRUE(ok({"import", "in.cxc", "--class", "active", "--data", "in.npy"}));
  ASSERT_TRUE(ok({"import", "in.cxc", "--class", "control", "--data", "in.npy"}));
  expectFailure({"process", "in.cxc", "-o", "out.cxc", "--act-ctl", "A-C"}, 1,
                "This operation requires Control dataset has 1 time-slice", "out.cxc");
  ASSERT_TRUE(ok({"process", "in.cxc", "-o", "out.cxc", "--magnitude", "--act-ctl", "A-C", "--yes"}));
  ASSERT_TRUE(ok({"export", "out.cxc", "-o", "x1", "--class", "act-ctl", "--type", "power"}));
  EXPECT_EQ(npy("x1/act-ctl_power.npy").values, (std::vector<double>{-1, -1, 1, 1}));

  // Steps run in the order given: scale the control only, then collapse
  // every dataset over frequency, in place.
  ASSERT_TRUE(ok({"process", "in.cxc", "-o", "in.cxc", "--class", "control", "--scale", "3", "--class", "all",
                  "--accumulate", "freq"}));
  ASSERT_TRUE(ok({"export", "in.cxc", "-o", "x2", "--type", "real"}));
  EXPECT_EQ(npy("x2/active_real.npy").values, (std::vector<double>{1.5, 3.5}));
  EXPECT_EQ(npy("x2/control_real.npy").values, (std::vector<double>{4.5, 10.5}));
}

}  // namespace
