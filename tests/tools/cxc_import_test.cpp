// cxc import: layouts, axes, real-only data, and everything it must refuse
// before writing anything.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cxc_test_support.h"

using cxc_test::readNpy;

namespace {

class CxcImportTest : public cxc_test::CxcTest {};

TEST_F(CxcImportTest, FrequencyBeforeTimeLayoutIsTransposedIntoTheGrid) {
  // sft: shape (1, 1, F=3, T=2); value 10*f + t.
  cxc_test::writeNpy(dir / "sft.npy", "<f8", {1, 1, 3, 2}, {0, 1, 10, 11, 20, 21});
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "control", "--data", "sft.npy", "--layout", "sft"}).code, 0);
  ASSERT_EQ(cxc({"export", "out.cxc", "-o", "e"}).code, 0);
  const cxc_test::Npy real = readNpy(dir / "e/control_real.npy");
  EXPECT_EQ(real.descr, "<f8") << "real-only data export as float64";
  EXPECT_EQ(real.shape, (std::vector<int64_t>{1, 1, 2, 3}));
  EXPECT_EQ(real.values, (std::vector<double>{0, 10, 20, 1, 11, 21}));
  EXPECT_FALSE(cxc_test::fileExists(dir / "e/control_cross.npy"));
}

TEST_F(CxcImportTest, GeometricFrequenciesAreRecognisedAndExportedBack) {
  cxc_test::writeNpy(dir / "d.npy", "<c16", {1, 1, 1, 4}, {1, 0, 2, 0, 3, 0, 4, 0});
  cxc_test::writeNpy(dir / "f.npy", "<f8", {4}, {2.0, 4.0, 8.0, 16.0});
  ASSERT_EQ(
      cxc({"import", "out.cxc", "--class", "active", "--data", "d.npy", "--freqs", "f.npy", "--cmpt", "GBT"}).code, 0);
  cxc_test::expectHas(cxc({"info", "out.cxc", "--json"}).out,
                      {"\"computation\": \"GBT\"", "\"scale\": \"geometric\"", "\"ratio\": 2"});
  ASSERT_EQ(cxc({"export", "out.cxc", "-o", "e"}).code, 0);
  const std::vector<double> f = readNpy(dir / "e/active_freqs.npy").values;
  ASSERT_EQ(f.size(), 4u);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(f[static_cast<std::size_t>(k)], std::ldexp(2.0, k), 1e-12);
}

TEST_F(CxcImportTest, ReportOfImportedDataMatchesHandComputedFigures) {
  // Two rows, one column, two time points at one frequency: (1, 3) and (-2, -2).
  cxc_test::writeNpy(dir / "d.npy", "<f8", {2, 1, 2, 1}, {1, 3, -2, -2});
  cxc_test::writeNpy(dir / "f.npy", "<f8", {1}, {5.0});
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "active", "--data", "d.npy", "--freqs", "f.npy"}).code, 0);
  const cxc_test::CxcRun r = cxc({"report", "out.cxc", "--class", "active", "--type", "real"});
  ASSERT_EQ(r.code, 0) << r.err;
  // Min -2, Mean (2 + -2) / 2 = 0, Max 3, AbsMean 2, Rms sqrt((sqrt(5) + 2) / 2).
  char line[160];
  std::snprintf(line, sizeof line, "Active CxC: 5.000000   -2.000000   0.000000   3.000000   2.000000   %f \n",
                std::sqrt((std::sqrt(5.0) + 2.0) / 2.0));
  EXPECT_EQ(r.out.substr(0, r.out.find('\n') + 1), line);
}

TEST_F(CxcImportTest, ImportIntoAnExistingCollectionReplacesOnlyThatClass) {
  cxc_test::writeNpy(dir / "a.npy", "<f8", {1, 1, 1, 1}, {7});
  cxc_test::writeNpy(dir / "b.npy", "<f8", {1, 1, 1, 1}, {9});
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "active", "--data", "a.npy"}).code, 0);
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "control", "--data", "b.npy"}).code, 0);
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "control", "--data", "a.npy", "-o", "other.cxc"}).code, 0);
  ASSERT_EQ(cxc({"export", "out.cxc", "-o", "e"}).code, 0);
  ASSERT_EQ(cxc({"export", "other.cxc", "-o", "o"}).code, 0);
  EXPECT_EQ(readNpy(dir / "e/active_real.npy").values, std::vector<double>{7});
  EXPECT_EQ(readNpy(dir / "e/control_real.npy").values, std::vector<double>{9});
  EXPECT_EQ(readNpy(dir / "o/control_real.npy").values, std::vector<double>{7});
}

TEST_F(CxcImportTest, BadInputIsRefusedWithTheProblemNamedAndTheOutputKept) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  cxc_test::writeNpy(dir / "ok.npy", "<c16", {1, 1, 2, 3}, std::vector<double>(12, 1.0));
  cxc_test::writeNpy(dir / "int.npy", "<i4", {1, 1, 2, 3}, std::vector<double>(3, 0.0));
  cxc_test::writeNpy(dir / "flat.npy", "<f8", {4, 3}, std::vector<double>(12, 0.0));
  cxc_test::writeNpy(dir / "short.npy", "<f8", {1, 1, 2, 3}, std::vector<double>(5, 0.0));
  cxc_test::writeNpy(dir / "nanf.npy", "<f8", {3}, {2.0, nan, 4.0});
  cxc_test::writeNpy(dir / "oddf.npy", "<f8", {3}, {2.0, 3.0, 7.0});
  cxc_test::writeNpy(dir / "twof.npy", "<f8", {2}, {2.0, 3.0});
  cxc_test::writeNpy(dir / "frac.npy", "<f8", {2}, {0.0, 0.004});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"int.npy"}, "int.npy: dtype '<i4' is not supported"},
      {{"flat.npy"}, "flat.npy: expected a 4-D array"},
      {{"short.npy"}, "short.npy: truncated"},
      {{"ok.npy", "--freqs", "nanf.npy"}, "nanf.npy: frequencies value 1 is not finite"},
      {{"ok.npy", "--freqs", "oddf.npy"}, "neither evenly spaced"},
      {{"ok.npy", "--freqs", "twof.npy"}, "twof.npy: expected 3 frequencies"},
      {{"ok.npy", "--times", "frac.npy"}, "not a whole sample position"},
      {{"missing.npy"}, "missing.npy: cannot open"},
  };
  // First without an output file, then with one that must stay unchanged.
  for (const bool outputExists : {false, true}) {
    if (outputExists) {
      ASSERT_EQ(cxc({"import", "out.cxc", "--class", "active", "--data", "ok.npy"}).code, 0);
    }
    for (const auto& [more, what] : cases) {
      std::vector<std::string> args = {"import", "out.cxc", "--class", "active", "--data"};
      args.insert(args.end(), more.begin(), more.end());
      expectFailure(args, 1, what, "out.cxc");
    }
  }
  expectFailure({"import", "out.cxc", "--class", "active", "--data", "ok.npy", "--layout", "tsf"}, 2, "tsf");
}

}  // namespace
