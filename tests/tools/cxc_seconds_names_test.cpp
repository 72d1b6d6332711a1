// An MNE user's path through cxc: times in seconds with the sampling rate,
// channel names, values in SI units and MNE's (frequency, time) order, in
// and out again with nothing lost.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "cxc_test_support.h"

using namespace cxc_test;

namespace {

// 2 x 2 sensors, 4 times, 3 frequencies; cell (r, c, t, f) in SI-sized values.
constexpr int kT = 4, kF = 3;
double valueAt(int r, int c, int t, int f) { return (1 + r + 2 * c + 10 * t + 100 * f) * 1e-24; }

class CxcSecondsNamesTest : public CxcTest {
 protected:
  void SetUp() override {
    CxcTest::SetUp();
    if (IsSkipped()) return;
    // MNE's order: sensors, sensors, frequency, time.
    std::vector<double> sft;
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 2; ++c)
        for (int f = 0; f < kF; ++f)
          for (int t = 0; t < kT; ++t) sft.push_back(valueAt(r, c, t, f));
    writeNpy(dir / "data.npy", "<f8", {2, 2, kF, kT}, sft);
    writeNpy(dir / "freqs.npy", "<f8", {kF}, {8.0, 10.0, 12.0});
    writeNpy(dir / "times.npy", "<f8", {kT}, {-0.2, -0.1, 0.0, 0.1});  // epochs.times at 10 Hz
    std::ofstream(dir / "names.txt") << "MEG 0113\nMEG 0112\n";
    ASSERT_TRUE(ok({"import", "c.cxc", "--class", "active", "--data", "data.npy", "--layout", "sft", "--freqs",
                    "freqs.npy", "--times", "times.npy", "--sfreq", "10", "--ch-names", "names.txt", "--unit", "T^2"}));
  }
};

TEST_F(CxcSecondsNamesTest, ImportKeepsSecondsNamesAndUnitsAndEveryFrontEndShowsThem) {
  expectHas(last.out, {"sampling rate 10 Hz: time points at -0.2 .. 0.1 s"});
  ASSERT_TRUE(ok({"info", "c.cxc"}));
  expectHas(last.out, {"10 Hz sampling: time points at -0.2 .. 0.1 s", "channels    MEG 0113, MEG 0112 (2 named)",
                       "values real  1e-24 .. 234e-24 T^2"});
  ASSERT_TRUE(ok({"report", "c.cxc", "--class", "active", "--time", "--type", "real"}));
  expectHas(last.out, {": -0.200000 ", ": 0.100000 "});

  // Processing keeps the names beside the new file; A-C-like results reuse them.
  ASSERT_TRUE(ok({"process", "c.cxc", "-o", "p.cxc", "--scale", "2"}));
  ASSERT_TRUE(ok({"info", "p.cxc", "--json"}));
  expectHas(last.out, {"\"row_names\": [\"MEG 0113\", \"MEG 0112\"]", "\"sfreq\": 10", "\"value_unit\": \"T^2\""});
}

TEST_F(CxcSecondsNamesTest, ExportGivesBackTheArrayInEitherOrderWithSecondsAndNames) {
  ASSERT_TRUE(ok({"export", "c.cxc", "-o", "out", "--layout", "sft"}));
  const Npy back = npy("out/active_real.npy");
  ASSERT_EQ(back.shape, (std::vector<int64_t>{2, 2, kF, kT}));
  EXPECT_EQ(back.values, readNpy(dir / "data.npy").values);
  const Npy seconds = npy("out/active_times_s.npy");
  ASSERT_EQ(seconds.values.size(), 4u);
  for (int t = 0; t < kT; ++t) EXPECT_NEAR(seconds.values[static_cast<std::size_t>(t)], -0.2 + 0.1 * t, 1e-12);
  EXPECT_EQ(npy("out/active_times.npy").values, (std::vector<double>{-2, -1, 0, 1}));
  std::ifstream manifest(dir / "out/manifest.json");
  const std::string text((std::istreambuf_iterator<char>(manifest)), std::istreambuf_iterator<char>());
  expectHas(text, {"\"row_names\": [\"MEG 0113\", \"MEG 0112\"]", "\"sfreq\": 10"});
}

TEST_F(CxcSecondsNamesTest, ReportsOfTinyValuesSayHowToScaleThem) {
  ASSERT_TRUE(ok({"report", "c.cxc", "--class", "active", "--type", "real"}));
  expectHas(last.err, {"every value prints as 0.000000", "--scale 1e+24"});
  ASSERT_TRUE(ok({"report", "c.cxc", "--class", "active", "--type", "real", "--scale", "auto"}));
  EXPECT_EQ(last.err.find("every value"), std::string::npos) << last.err;
  // Frequency 8 Hz, real: the minimum over time and pairs is valueAt(0,0,0,0) scaled.
  expectHas(last.out, {"8.000000   1.000000   "});
  expectFailure({"report", "c.cxc", "--class", "active", "--scale", "zero"}, 2, "--scale: 'zero'");
  expectFailure({"import", "x.cxc", "--class", "active", "--data", "data.npy", "--tmin", "0.5"}, 2, "--tmin needs --sfreq",
                "x.cxc");
  writeNpy(dir / "off.npy", "<f8", {kT}, {0.0, 0.15, 0.3, 0.45});
  expectFailure({"import", "x.cxc", "--class", "active", "--data", "data.npy", "--layout", "sft", "--times", "off.npy",
                 "--sfreq", "10"},
                1, "off.npy: time 1 (0.150000 s) is not on a sample of 10.000000 Hz", "x.cxc");
}

}  // namespace
