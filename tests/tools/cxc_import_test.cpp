// cxc import: layouts, axes, real-only data, and everything it must refuse
// before writing anything.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cxc_test_support.h"

using cxc_test::CxcRun;
using cxc_test::readNpy;

namespace {

class CxcImportTest : public ::testing::Test {
 protected:
  void SetUp() override { REQUIRE_CXC(); }
  CxcRun cxc(const std::vector<std::string>& args) { return cxc_test::runCxc(args, dir.path()); }

  // Refused with exit 1 and one stderr line naming `what`; out.cxc untouched.
  void expectRefused(const std::vector<std::string>& args, const std::string& what) {
    const bool existed = cxc_test::fileExists(dir / "out.cxc");
    const auto before = existed ? cxc_test::readBytes(dir / "out.cxc") : std::vector<uint8_t>{};
    const CxcRun r = cxc(args);
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    EXPECT_EQ(cxc_test::lineCount(r.err), 1) << r.err;
    EXPECT_EQ(cxc_test::fileExists(dir / "out.cxc"), existed);
    if (existed) {
      EXPECT_EQ(cxc_test::readBytes(dir / "out.cxc"), before);
    }
  }

  cxc_test::ScratchDir dir;
};

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
  cxc_test::writeNpy(dir / "t.npy", "<f8", {1}, {500.0});
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "active", "--data", "d.npy", "--freqs", "f.npy", "--times", "t.npy",
                 "--cmpt", "GBT"})
                .code,
            0);
  const CxcRun info = cxc({"info", "out.cxc", "--json"});
  EXPECT_NE(info.out.find("\"computation\": \"GBT\""), std::string::npos);
  EXPECT_NE(info.out.find("\"scale\": \"geometric\""), std::string::npos);
  EXPECT_NE(info.out.find("\"ratio\": 2"), std::string::npos) << info.out;
  ASSERT_EQ(cxc({"export", "out.cxc", "-o", "e"}).code, 0);
  const std::vector<double> f = readNpy(dir / "e/active_freqs.npy").values;
  ASSERT_EQ(f.size(), 4u);
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(f[static_cast<std::size_t>(k)], std::ldexp(2.0, k), 1e-12);
  EXPECT_EQ(readNpy(dir / "e/active_times.npy").values, std::vector<double>{500.0});
}

TEST_F(CxcImportTest, ReportOfImportedDataMatchesHandComputedFigures) {
  // Two rows, one column, two time points at one frequency: (1, 3) and (-2, -2).
  cxc_test::writeNpy(dir / "d.npy", "<f8", {2, 1, 2, 1}, {1, 3, -2, -2});
  cxc_test::writeNpy(dir / "f.npy", "<f8", {1}, {5.0});
  ASSERT_EQ(cxc({"import", "out.cxc", "--class", "active", "--data", "d.npy", "--freqs", "f.npy"}).code, 0);
  const CxcRun r = cxc({"report", "out.cxc", "--class", "active", "--type", "real"});
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
  EXPECT_EQ(readNpy(dir / "e/active_real.npy").values, std::vector<double>{7});
  EXPECT_EQ(readNpy(dir / "e/control_real.npy").values, std::vector<double>{9});
  ASSERT_EQ(cxc({"export", "other.cxc", "-o", "o"}).code, 0);
  EXPECT_EQ(readNpy(dir / "o/control_real.npy").values, std::vector<double>{7});
}

TEST_F(CxcImportTest, BadInputIsRefusedWithTheProblemNamed) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  cxc_test::writeNpy(dir / "ok.npy", "<c16", {1, 1, 2, 3}, std::vector<double>(12, 1.0));
  cxc_test::writeNpy(dir / "int.npy", "<i4", {1, 1, 2, 3}, std::vector<double>(3, 0.0));
  cxc_test::writeNpy(dir / "flat.npy", "<f8", {4, 3}, std::vector<double>(12, 0.0));
  cxc_test::writeNpy(dir / "short.npy", "<f8", {1, 1, 2, 3}, std::vector<double>(5, 0.0));
  cxc_test::writeNpy(dir / "nanf.npy", "<f8", {3}, {2.0, nan, 4.0});
  cxc_test::writeNpy(dir / "oddf.npy", "<f8", {3}, {2.0, 3.0, 7.0});
  cxc_test::writeNpy(dir / "twof.npy", "<f8", {2}, {2.0, 3.0});
  cxc_test::writeNpy(dir / "frac.npy", "<f8", {2}, {0.0, 0.004});
  const std::vector<std::string> base = {"import", "out.cxc", "--class", "active", "--data"};
  auto with = [&](std::initializer_list<std::string> more) {
    std::vector<std::string> a = base;
    a.insert(a.end(), more);
    return a;
  };
  for (int round = 0; round < 2; ++round) {
    expectRefused(with({"int.npy"}), "int.npy: dtype '<i4' is not supported");
    expectRefused(with({"flat.npy"}), "flat.npy: expected a 4-D array");
    expectRefused(with({"short.npy"}), "short.npy: truncated");
    expectRefused(with({"ok.npy", "--freqs", "nanf.npy"}), "nanf.npy: frequencies value 1 is not finite");
    expectRefused(with({"ok.npy", "--freqs", "oddf.npy"}), "neither evenly spaced");
    expectRefused(with({"ok.npy", "--freqs", "twof.npy"}), "twof.npy: expected 3 frequencies");
    expectRefused(with({"ok.npy", "--times", "frac.npy"}), "not a whole sample position");
    expectRefused(with({"missing.npy"}), "missing.npy: cannot open");
    // Second round: the same refusals must leave an existing file unchanged.
    if (round == 0) {
      ASSERT_EQ(cxc(with({"ok.npy"})).code, 0);
    }
  }
  EXPECT_EQ(cxc(with({"ok.npy", "--layout", "tsf"})).code, 2);
}

}  // namespace
