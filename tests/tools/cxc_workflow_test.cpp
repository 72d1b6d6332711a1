// The README's path through cxc, run on the built binary: demo -> info ->
// report -> export -> import -> upgrade, then process on small imported
// spectra, with outputs checked against numbers the tests work out themselves.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "cxc_test_support.h"

using cxc_test::CxcRun;
using cxc_test::Npy;
using cxc_test::readNpy;

namespace {

constexpr auto npos = std::string::npos;

class CxcWorkflowTest : public cxc_test::CxcTest {};

TEST_F(CxcWorkflowTest, DemoInfoReportExportImportAndUpgrade) {
  const std::vector<std::string> demoArgs = {"demo", "--sensors", "8", "--time", "6", "--freq", "12", "-o", "demo.cxc"};
  const CxcRun demo = cxc(demoArgs);
  ASSERT_EQ(demo.code, 0) << demo.err;
  const std::vector<uint8_t> demoBytes = cxc_test::readBytes(dir / "demo.cxc");
  ASSERT_EQ(cxc(demoArgs).code, 0);
  EXPECT_EQ(cxc_test::readBytes(dir / "demo.cxc"), demoBytes) << "the demo differs between runs";

  // The printed strongest A-C effect is the largest off-diagonal A-C
  // magnitude of the export [8][8][6][12].
  long long a = -1, b = -1, t = -1;
  double hz = 0.0, value = 0.0;
  const std::size_t line = demo.out.find("strongest active-control effect: ");
  ASSERT_NE(line, npos) << demo.out;
  ASSERT_EQ(std::sscanf(demo.out.c_str() + line,
                        "strongest active-control effect: sensors %lld x %lld at %lf Hz, time point %lld: %lf", &a, &b,
                        &hz, &t, &value),
            5);
  ASSERT_EQ(cxc({"export", "demo.cxc", "-o", "ac", "--class", "act-ctl", "--type", "power"}).code, 0);
  const Npy power = readNpy(dir / "ac/act-ctl_power.npy");
  ASSERT_EQ(power.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  long long best = 72;  // pair (0, 1)
  for (long long k = 0; k < static_cast<long long>(power.values.size()); ++k) {
    if (k / 576 != k / 72 % 8 && power.values[k] > power.values[best]) best = k;
  }
  EXPECT_EQ(std::vector<long long>({a, b, t}), std::vector<long long>({best / 576, best / 72 % 8, best / 12 % 6}));
  EXPECT_NEAR(readNpy(dir / "ac/act-ctl_freqs.npy").values[best % 12], hz, 0.05);
  EXPECT_NEAR(power.values[best], value, 0.0005);

  const CxcRun info = cxc({"info", "demo.cxc"});
  ASSERT_EQ(info.code, 0) << info.err;
  cxc_test::expectHas(info.out, {"magic SPCTM_CXC_FACEZQ, version 20110729", "linear, 2.000 .. 40.000 Hz"});
  const CxcRun json = cxc({"info", "demo.cxc", "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  // Active keeps 6 time points, the control was collapsed to 1 for A-C;
  // summaries over all 64 pairs.
  cxc_test::expectHas(json.out,
                      {"\"class\": \"active\", \"name\": \"Active CxC\", \"computation\": \"CWT\"",
                       "\"sensors\": [8, 8], \"time_points\": 6, \"freq_points\": 12",
                       "\"sensors\": [8, 8], \"time_points\": 1, \"freq_points\": 12", "\"power\": {\"pairs\": 64"});

  // One line per frequency (or time) point and a closing "All Time-Freq:" line.
  const CxcRun freq = cxc({"report", "demo.cxc", "--class", "active", "--type", "real"});
  ASSERT_EQ(freq.code, 0) << freq.err;
  EXPECT_EQ(cxc_test::lineCount(freq.out), 12 + 1);
  EXPECT_EQ(freq.out.rfind("Active CxC: 2.000000 ", 0), 0u) << freq.out;
  EXPECT_EQ(cxc_test::lineCount(cxc({"report", "demo.cxc", "--class", "control", "--time", "--type", "power"}).out),
            1 + 1);
  cxc_test::expectHas(cxc({"report", "demo.cxc", "--class", "act-ctl"}).out,
                      {"***Real***", "***Imaginary***", "***Power/Phase***"});

  ASSERT_EQ(cxc({"export", "demo.cxc", "-o", "a", "--class", "active"}).code, 0);
  const Npy cross = readNpy(dir / "a/active_cross.npy");
  EXPECT_EQ(cross.descr, "<c16");
  EXPECT_FALSE(cross.fortranOrder);
  EXPECT_EQ(cross.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  ASSERT_EQ(cross.values.size(), 8u * 8 * 6 * 12 * 2);
  const Npy activePower = readNpy(dir / "a/active_power.npy");
  for (std::size_t k = 0; k < activePower.values.size(); ++k) {
    const double expected = std::hypot(cross.values[2 * k], cross.values[2 * k + 1]);
    EXPECT_NEAR(activePower.values[k], expected, 1e-9 * expected);
  }
  const CxcRun imp = cxc({"import", "back.cxc", "--class", "active", "--data", "a/active_cross.npy", "--freqs",
                          "a/active_freqs.npy", "--times", "a/active_times.npy"});
  ASSERT_EQ(imp.code, 0) << imp.err;
  ASSERT_EQ(cxc({"export", "back.cxc", "-o", "b"}).code, 0);
  EXPECT_EQ(readNpy(dir / "b/active_cross.npy").values, cross.values);
  EXPECT_EQ(readNpy(dir / "b/active_times.npy").values, readNpy(dir / "a/active_times.npy").values);
  const std::vector<double> f1 = readNpy(dir / "a/active_freqs.npy").values;
  const std::vector<double> f2 = readNpy(dir / "b/active_freqs.npy").values;
  ASSERT_EQ(f2.size(), f1.size());
  for (std::size_t k = 0; k < f1.size(); ++k) EXPECT_NEAR(f2[k], f1[k], 1e-12 * f1[k]);

  // A file of the newest layout is rewritten unchanged.
  const CxcRun up = cxc({"upgrade", "demo.cxc", "up.cxc"});
  ASSERT_EQ(up.code, 0) << up.err;
  cxc_test::expectHas(up.out, {"-> up.cxc (SPCTM_CXC_FACEZQ 20110729)"});
  EXPECT_EQ(cxc_test::readBytes(dir / "up.cxc"), demoBytes);
}

// Small known spectra go in through import as active and control; every
// processing result is compared with the same arithmetic done here.
class CxcProcessTest : public cxc_test::CxcTest {
 protected:
  static constexpr int64_t S = 2, T = 3, F = 2;

  // Complex value of pair (r, c) at (t, f) in condition `k`.
  static double re(int k, int64_t r, int64_t c, int64_t t, int64_t f) { return 1.0 + k + r + 2.0 * c + 0.5 * t - f; }
  static double im(int k, int64_t r, int64_t c, int64_t t, int64_t f) { return 0.25 * (k + 1) * (r - c) + t * f; }

  void SetUp() override {
    CxcTest::SetUp();
    for (int k = 0; k < 2 && !IsSkipped(); ++k) {
      std::vector<double> v;
      for (int64_t i = 0; i < S * S * T * F; ++i) {
        v.push_back(re(k, i / (S * T * F), i / (T * F) % S, i / F % T, i % F));
        v.push_back(im(k, i / (S * T * F), i / (T * F) % S, i / F % T, i % F));
      }
      cxc_test::writeNpy(dir / "in.npy", "<c16", {S, S, T, F}, v);
      const CxcRun r = cxc({"import", "in.cxc", "--class", k == 0 ? "active" : "control", "--data", "in.npy"});
      ASSERT_EQ(r.code, 0) << r.err;
    }
  }

  std::vector<double> exported(const std::string& file, const std::string& cls, const std::string& type) {
    const CxcRun r = cxc({"export", file, "-o", "x-" + cls, "--class", cls, "--type", type});
    EXPECT_EQ(r.code, 0) << r.err;
    return readNpy(dir / ("x-" + cls + "/" + cls + "_" + type + ".npy")).values;
  }
};

TEST_F(CxcProcessTest, MagnitudeThenAMinusCSubtractsTheTimeMeanOfTheControl) {
  expectFailure({"process", "in.cxc", "-o", "out.cxc", "--act-ctl", "A-C"}, 1,
                "This operation requires Control dataset has 1 time-slice", "out.cxc");
  const CxcRun r = cxc({"process", "in.cxc", "-o", "out.cxc", "--magnitude", "--act-ctl", "A-C", "--yes"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<double> got = exported("out.cxc", "act-ctl", "power");
  ASSERT_EQ(got.size(), static_cast<std::size_t>(S * S * T * F));
  for (int64_t i = 0; i < S * S * T * F; ++i) {
    const int64_t p = i / (S * T * F), q = i / (T * F) % S, t = i / F % T, f = i % F;
    double controlMean = 0.0;
    for (int64_t u = 0; u < T; ++u) controlMean += std::hypot(re(1, p, q, u, f), im(1, p, q, u, f)) / T;
    EXPECT_NEAR(got[static_cast<std::size_t>(i)], std::hypot(re(0, p, q, t, f), im(0, p, q, t, f)) - controlMean,
                1e-12);
  }
}

TEST_F(CxcProcessTest, StepsRunInTheOrderGivenAndClassAimsThem) {
  // Scale the control only, then collapse every dataset over frequency.
  const CxcRun r = cxc({"process", "in.cxc", "-o", "in.cxc", "--class", "control", "--scale", "3", "--class", "all",
                        "--accumulate", "freq"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (int k = 0; k < 2; ++k) {
    const std::vector<double> got = exported("in.cxc", k == 0 ? "active" : "control", "real");
    ASSERT_EQ(got.size(), static_cast<std::size_t>(S * S * T));
    for (int64_t i = 0; i < S * S * T; ++i) {
      const int64_t p = i / (S * T), q = i / T % S, t = i % T;
      const double mean = (re(k, p, q, t, 0) + re(k, p, q, t, 1)) / 2.0;
      EXPECT_NEAR(got[static_cast<std::size_t>(i)], (k == 1 ? 3.0 : 1.0) * mean, 1e-12);
    }
  }
}

TEST_F(CxcProcessTest, RestoreRawUndoesProcessing) {
  ASSERT_EQ(cxc({"process", "in.cxc", "-o", "p.cxc", "--scale", "-2", "--restore-raw"}).code, 0);
  const std::vector<double> got = exported("p.cxc", "active", "imag");
  for (int64_t t = 0; t < T; ++t)
    EXPECT_EQ(got[static_cast<std::size_t>(((1 * S + 0) * T + t) * F + 1)], im(0, 1, 0, t, 1));
}

}  // namespace
