// The README's path through cxc, run on the built binary: demo -> info ->
// report -> process -> export -> import -> upgrade, with outputs checked
// against numbers the tests work out themselves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "cxc_test_support.h"

using cxc_test::CxcRun;
using cxc_test::Npy;
using cxc_test::readNpy;

namespace {

class CxcWorkflowTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_CXC(); }

  CxcRun cxc(const std::vector<std::string>& args) { return cxc_test::runCxc(args, dir.path()); }

  // A small demo collection in demo.cxc.
  CxcRun makeDemo() {
    CxcRun r = cxc({"demo", "--sensors", "8", "--time", "6", "--freq", "12", "-o", "demo.cxc"});
    EXPECT_EQ(r.code, 0) << r.err;
    return r;
  }

  cxc_test::ScratchDir dir;
};

TEST_F(CxcWorkflowTest, DemoFindsItsEffectInsideTheCoupledGroupAtThePrintedCell) {
  const CxcRun demo = makeDemo();
  std::set<int64_t> group;
  {
    const std::size_t from = demo.out.find("  active : 1/f cross-spectra, sensors ");
    ASSERT_NE(from, std::string::npos) << demo.out;
    std::stringstream s(demo.out.substr(from + 38, demo.out.find(" coupled", from) - from - 38));
    int64_t g;
    while (s >> g) group.insert(g);
  }
  const std::size_t line = demo.out.find("strongest active-control effect: ");
  ASSERT_NE(line, std::string::npos) << demo.out;
  long long a = -1, b = -1, t = -1;
  double hz = 0.0, value = 0.0;
  ASSERT_EQ(std::sscanf(demo.out.c_str() + line,
                        "strongest active-control effect: sensors %lld x %lld at %lf Hz, time point %lld: %lf", &a, &b,
                        &hz, &t, &value),
            5)
      << demo.out;
  EXPECT_NE(a, b);
  EXPECT_TRUE(group.count(a) && group.count(b)) << "effect outside the coupled group";
  EXPECT_TRUE(cxc_test::fileExists(dir / "demo.cxc"));

  // Find the largest off-diagonal A-C magnitude ourselves in the export.
  ASSERT_EQ(cxc({"export", "demo.cxc", "-o", "out", "--class", "act-ctl", "--type", "power"}).code, 0);
  const Npy p = readNpy(dir / "out/act-ctl_power.npy");
  const Npy freqs = readNpy(dir / "out/act-ctl_freqs.npy");
  ASSERT_EQ(p.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  double best = -INFINITY;
  int64_t br = 0, bc = 0, bt = 0, bf = 0;
  for (int64_t r = 0; r < 8; ++r) {
    for (int64_t c = 0; c < 8; ++c) {
      for (int64_t tt = 0; tt < 6; ++tt) {
        for (int64_t f = 0; f < 12; ++f) {
          const double v = p.values[static_cast<std::size_t>(((r * 8 + c) * 6 + tt) * 12 + f)];
          if (r != c && v > best) {
            best = v;
            br = r, bc = c, bt = tt, bf = f;
          }
        }
      }
    }
  }
  EXPECT_EQ(br, a);
  EXPECT_EQ(bc, b);
  EXPECT_EQ(bt, t);
  EXPECT_NEAR(freqs.values[static_cast<std::size_t>(bf)], hz, 0.05);
  EXPECT_NEAR(best, value, 0.0005);
}

TEST_F(CxcWorkflowTest, DemoIsTheSameOnEveryRun) {
  makeDemo();
  const auto first = cxc_test::readBytes(dir / "demo.cxc");
  makeDemo();
  EXPECT_EQ(cxc_test::readBytes(dir / "demo.cxc"), first);
}

TEST_F(CxcWorkflowTest, InfoShowsEveryClassWithItsGridAndSummaries) {
  makeDemo();
  const CxcRun text = cxc({"info", "demo.cxc"});
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_NE(text.out.find("magic SPCTM_CXC_FACEZQ, version 20110729"), std::string::npos);
  EXPECT_NE(text.out.find("[act-ctl] \"Act-Ctl CxC\""), std::string::npos);
  EXPECT_NE(text.out.find("linear, 2.000 .. 40.000 Hz"), std::string::npos);

  const CxcRun json = cxc({"info", "demo.cxc", "--json"});
  ASSERT_EQ(json.code, 0) << json.err;
  // Active keeps 6 time points; the control was collapsed to 1 for A-C.
  EXPECT_NE(json.out.find("\"class\": \"active\", \"name\": \"Active CxC\", \"computation\": \"CWT\""),
            std::string::npos);
  EXPECT_NE(json.out.find("\"sensors\": [8, 8], \"time_points\": 6, \"freq_points\": 12"), std::string::npos);
  EXPECT_NE(json.out.find("\"sensors\": [8, 8], \"time_points\": 1, \"freq_points\": 12"), std::string::npos);
  EXPECT_NE(json.out.find("\"power\": {\"pairs\": 64"), std::string::npos) << "summaries over all 64 pairs";
}

TEST_F(CxcWorkflowTest, ReportPrintsOneLinePerPointAndAClosingLine) {
  makeDemo();
  const CxcRun freq = cxc({"report", "demo.cxc", "--class", "active", "--type", "real"});
  ASSERT_EQ(freq.code, 0) << freq.err;
  EXPECT_EQ(cxc_test::lineCount(freq.out), 12 + 1);
  EXPECT_EQ(freq.out.rfind("Active CxC: 2.000000 ", 0), 0u) << freq.out;
  EXPECT_NE(freq.out.find("All Time-Freq:"), std::string::npos);

  const CxcRun time = cxc({"report", "demo.cxc", "--class", "control", "--time", "--type", "power"});
  ASSERT_EQ(time.code, 0) << time.err;
  EXPECT_EQ(cxc_test::lineCount(time.out), 1 + 1) << "the collapsed control has one time point";

  const CxcRun all = cxc({"report", "demo.cxc", "--class", "act-ctl"});
  ASSERT_EQ(all.code, 0) << all.err;
  EXPECT_NE(all.out.find("***Real***"), std::string::npos);
  EXPECT_NE(all.out.find("***Imaginary***"), std::string::npos);
  EXPECT_NE(all.out.find("***Power/Phase***"), std::string::npos);
}

TEST_F(CxcWorkflowTest, ExportedArraysImportBackToTheSamePlanes) {
  makeDemo();
  ASSERT_EQ(cxc({"export", "demo.cxc", "-o", "a", "--class", "active"}).code, 0);
  const Npy cross = readNpy(dir / "a/active_cross.npy");
  EXPECT_EQ(cross.descr, "<c16");
  EXPECT_FALSE(cross.fortranOrder);
  EXPECT_EQ(cross.shape, (std::vector<int64_t>{8, 8, 6, 12}));
  ASSERT_EQ(cross.values.size(), 8u * 8 * 6 * 12 * 2);
  // Pair (b, a) is the complex conjugate of pair (a, b) in the synthetic data.
  const std::size_t cell = 6 * 12;
  for (std::size_t k = 0; k < cell; ++k) {
    EXPECT_EQ(cross.values[2 * (1 * 8 * cell + 2 * cell + k)], cross.values[2 * (2 * 8 * cell + 1 * cell + k)]);
    EXPECT_EQ(cross.values[2 * (1 * 8 * cell + 2 * cell + k) + 1],
              -cross.values[2 * (2 * 8 * cell + 1 * cell + k) + 1]);
  }
  const Npy power = readNpy(dir / "a/active_power.npy");
  for (std::size_t k = 0; k < power.values.size(); ++k) {
    EXPECT_NEAR(power.values[k], std::hypot(cross.values[2 * k], cross.values[2 * k + 1]), 1e-9 * power.values[k]);
  }

  const CxcRun imp = cxc({"import", "back.cxc", "--class", "active", "--data", "a/active_cross.npy", "--freqs",
                          "a/active_freqs.npy", "--times", "a/active_times.npy"});
  ASSERT_EQ(imp.code, 0) << imp.err;
  ASSERT_EQ(cxc({"export", "back.cxc", "-o", "b"}).code, 0);
  const Npy again = readNpy(dir / "b/active_cross.npy");
  EXPECT_EQ(again.shape, cross.shape);
  EXPECT_EQ(again.values, cross.values);
  EXPECT_EQ(readNpy(dir / "b/active_times.npy").values, readNpy(dir / "a/active_times.npy").values);
  const Npy f1 = readNpy(dir / "a/active_freqs.npy");
  const Npy f2 = readNpy(dir / "b/active_freqs.npy");
  ASSERT_EQ(f2.values.size(), f1.values.size());
  for (std::size_t k = 0; k < f1.values.size(); ++k) EXPECT_NEAR(f2.values[k], f1.values[k], 1e-12 * f1.values[k]);
}

TEST_F(CxcWorkflowTest, UpgradeOfANewestFileRewritesItUnchanged) {
  makeDemo();
  const CxcRun up = cxc({"upgrade", "demo.cxc", "up.cxc"});
  ASSERT_EQ(up.code, 0) << up.err;
  EXPECT_NE(up.out.find("-> up.cxc (SPCTM_CXC_FACEZQ 20110729)"), std::string::npos);
  EXPECT_EQ(cxc_test::readBytes(dir / "up.cxc"), cxc_test::readBytes(dir / "demo.cxc"));
}

// Small known spectra go in through import; every processing result is
// compared with the same arithmetic done here.
class CxcProcessTest : public CxcWorkflowTest {
 protected:
  static constexpr int64_t S = 2, T = 3, F = 2;

  // Complex value of pair (r, c) at (t, f) in condition `k`.
  static double re(int k, int64_t r, int64_t c, int64_t t, int64_t f) { return 1.0 + k + r + 2.0 * c + 0.5 * t - f; }
  static double im(int k, int64_t r, int64_t c, int64_t t, int64_t f) { return 0.25 * (k + 1) * (r - c) + t * f; }

  static std::size_t at(int64_t r, int64_t c, int64_t t, int64_t f) {
    return static_cast<std::size_t>(((r * S + c) * T + t) * F + f);
  }

  void SetUp() override {
    CxcWorkflowTest::SetUp();
    for (int k = 0; k < 2; ++k) {
      std::vector<double> v;
      for (int64_t r = 0; r < S; ++r)
        for (int64_t c = 0; c < S; ++c)
          for (int64_t t = 0; t < T; ++t)
            for (int64_t f = 0; f < F; ++f) {
              v.push_back(re(k, r, c, t, f));
              v.push_back(im(k, r, c, t, f));
            }
      const std::string name = k == 0 ? "act.npy" : "ctl.npy";
      cxc_test::writeNpy(dir / name, "<c16", {S, S, T, F}, v);
      const CxcRun r = cxc({"import", "in.cxc", "--class", k == 0 ? "active" : "control", "--data", name});
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
  const CxcRun r = cxc({"process", "in.cxc", "-o", "out.cxc", "--magnitude", "--act-ctl", "A-C", "--yes"});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::vector<double> got = exported("out.cxc", "act-ctl", "power");
  ASSERT_EQ(got.size(), static_cast<std::size_t>(S * S * T * F));
  for (int64_t p = 0; p < S; ++p)
    for (int64_t q = 0; q < S; ++q)
      for (int64_t t = 0; t < T; ++t)
        for (int64_t f = 0; f < F; ++f) {
          double controlMean = 0.0;
          for (int64_t u = 0; u < T; ++u) controlMean += std::hypot(re(1, p, q, u, f), im(1, p, q, u, f));
          controlMean /= T;
          EXPECT_NEAR(got[at(p, q, t, f)], std::hypot(re(0, p, q, t, f), im(0, p, q, t, f)) - controlMean, 1e-12);
        }
}

TEST_F(CxcProcessTest, AMinusCWithoutYesIsRefusedAndWritesNothing) {
  const CxcRun r = cxc({"process", "in.cxc", "-o", "out.cxc", "--act-ctl", "A-C"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("This operation requires Control dataset has 1 time-slice"), std::string::npos);
  EXPECT_NE(r.err.find("add --yes"), std::string::npos);
  EXPECT_FALSE(cxc_test::fileExists(dir / "out.cxc"));
}

TEST_F(CxcProcessTest, StepsRunInTheOrderGivenAndClassAimsThem) {
  // Scale the control only, then collapse every dataset over frequency.
  const CxcRun r = cxc({"process", "in.cxc", "-o", "in.cxc", "--class", "control", "--scale", "3", "--class", "all",
                        "--accumulate", "freq"});
  ASSERT_EQ(r.code, 0) << r.err;
  for (int k = 0; k < 2; ++k) {
    const std::vector<double> got = exported("in.cxc", k == 0 ? "active" : "control", "real");
    ASSERT_EQ(got.size(), static_cast<std::size_t>(S * S * T));
    for (int64_t p = 0; p < S; ++p)
      for (int64_t q = 0; q < S; ++q)
        for (int64_t t = 0; t < T; ++t) {
          const double mean = (re(k, p, q, t, 0) + re(k, p, q, t, 1)) / 2.0;
          EXPECT_NEAR(got[static_cast<std::size_t>((p * S + q) * T + t)], (k == 1 ? 3.0 : 1.0) * mean, 1e-12);
        }
  }
}

TEST_F(CxcProcessTest, RefusedStepLeavesTheFileAsItWas) {
  ASSERT_EQ(cxc({"process", "in.cxc", "-o", "in.cxc", "--class", "control", "--accumulate", "time"}).code, 0);
  const auto before = cxc_test::readBytes(dir / "in.cxc");
  const CxcRun r = cxc({"process", "in.cxc", "-o", "in.cxc", "--phase", "--class", "control", "--accumulate", "time"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Spectral data have only 1 time-slice!?"), std::string::npos);
  EXPECT_EQ(cxc_test::readBytes(dir / "in.cxc"), before);
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << "temporary file left behind";
  }
}

TEST_F(CxcProcessTest, RestoreRawUndoesProcessing) {
  ASSERT_EQ(cxc({"process", "in.cxc", "-o", "p.cxc", "--scale", "-2", "--restore-raw"}).code, 0);
  const std::vector<double> got = exported("p.cxc", "active", "imag");
  for (int64_t t = 0; t < T; ++t) EXPECT_EQ(got[at(1, 0, t, 1)], im(0, 1, 0, t, 1));
}

}  // namespace
