// cxc compute end to end: the stored mne-connectivity reference through the
// tool and its export, an active and a control dataset in one file, and the
// refusals (exit 1, nothing written) and bad usage (exit 2).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

#include "cxc_test_support.h"

#ifndef MEGCXC_COMPUTE_DATA
#define MEGCXC_COMPUTE_DATA "tests/compute/data"
#endif

using namespace cxc_test;

namespace {

const std::string kEpochs = std::string(MEGCXC_COMPUTE_DATA) + "/epochs.npy";

class CxcComputeTest : public CxcTest {
 protected:
  void SetUp() override {
    CxcTest::SetUp();
    if (IsSkipped()) return;
    writeNpy(dir / "cycles.npy", "<f8", {3}, {2.0, 3.0, 3.0});
  }

  // Epochs x channels x samples of a slow sine per channel.
  void writeEpochs(const std::string& name, int64_t epochs, int64_t channels, int64_t samples) {
    std::vector<double> v(static_cast<std::size_t>(epochs * channels * samples));
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = std::sin(0.3 * static_cast<double>(i % 97) + static_cast<double>(i / 97));
    writeNpy(dir / name, "<f8", {epochs, channels, samples}, v);
  }

  // A float32 array of an even count: writeNpy stores 8 bytes per value, two floats.
  void writeFloat32(const std::string& name, const std::vector<int64_t>& shape, const std::vector<float>& v) {
    std::vector<double> raw(v.size() / 2);
    std::memcpy(raw.data(), v.data(), v.size() * sizeof(float));
    writeNpy(dir / name, "<f4", shape, raw);
  }
};

TEST_F(CxcComputeTest, CohyThroughTheToolEqualsMneConnectivity) {
  ASSERT_TRUE(ok({"compute", "-o", "c.cxc", "--active", kEpochs, "--sfreq", "100", "--freqs", "8:16:4", "--n-cycles",
                  "cycles.npy", "--zero-mean", "--method", "cohy"}));
  expectHas(last.out, {"active: cohy of 6 epochs, 4 x 4 sensors, 64 time points", "peak memory"});
  ASSERT_TRUE(ok({"export", "c.cxc", "-o", "out"}));
  const Npy ours = npy("out/active_cross.npy");
  const Npy ref = readNpy(std::string(MEGCXC_COMPUTE_DATA) + "/con_a_cohy.npy");  // r, c, f, t
  ASSERT_EQ(ours.shape, (std::vector<int64_t>{4, 4, 64, 3}));
  for (std::size_t k = 0; k < 16 * 64 * 3; ++k) {  // pair k / 192, time k / 3 % 64, frequency k % 3
    const std::size_t b = 2 * ((k / 192 * 3 + k % 3) * 64 + k / 3 % 64);
    ASSERT_NEAR(ours.values[2 * k], ref.values[b], 1e-12) << k;
    ASSERT_NEAR(ours.values[2 * k + 1], ref.values[b + 1], 1e-12) << k;
  }
  EXPECT_EQ(npy("out/active_times.npy").values[5], 5.0);
}

TEST_F(CxcComputeTest, ActiveAndControlFillTheirClasses) {
  writeEpochs("a.npy", 3, 3, 80);
  std::vector<float> control(2 * 3 * 80);
  for (std::size_t i = 0; i < control.size(); ++i) control[i] = static_cast<float>(std::cos(0.21 * static_cast<double>(i)));
  writeFloat32("c.npy", {2, 3, 80}, control);
  std::ofstream(dir / "names.txt") << "MEG0111\nMEG0121\nMEG0131\n";
  ASSERT_TRUE(ok({"compute", "-o", "ac.cxc", "--active", "a.npy", "--control", "c.npy", "--sfreq", "200", "--freqs",
                  "20,40", "--n-cycles", "3", "--decim", "5", "--method", "wpli", "--ch-names", "names.txt"}));
  expectHas(last.out, {"active: wpli of 3 epochs", "control: wpli of 2 epochs", "16 time points", "MEG0111 .. MEG0131"});
  ASSERT_TRUE(ok({"info", "ac.cxc"}));
  expectHas(last.out, {"Active CxC", "Control CxC", "Weighted phase lag index", "channels    MEG0111, MEG0121, MEG0131 (3 named)"});
}

TEST_F(CxcComputeTest, BadInputIsRefusedAndNothingIsWritten) {
  writeEpochs("a.npy", 3, 3, 80);
  writeEpochs("four.npy", 3, 4, 80);
  writeEpochs("one.npy", 1, 3, 80);
  writeNpy(dir / "flat.npy", "<f8", {3, 80}, std::vector<double>(240, 1.0));
  // 200 Hz, 20, 30 and 40 Hz with 3 cycles unless the case says otherwise.
  const auto run = [&](std::vector<std::string> extra, int code, const std::string& what) {
    std::vector<std::string> args = {"compute", "-o", "x.cxc", "--active"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto given = [&](const char* option) { return std::find(extra.begin(), extra.end(), option) != extra.end(); };
    if (!given("--sfreq")) args.insert(args.end(), {"--sfreq", "200"});
    if (!given("--freqs")) args.insert(args.end(), {"--freqs", "20:40:10"});
    if (!given("--n-cycles")) args.insert(args.end(), {"--n-cycles", "3"});
    expectFailure(args, code, what, "x.cxc");
  };
  run({"a.npy", "--control", "four.npy"}, 1, "four.npy: 4 channels, but the active epochs (a.npy) have 3");
  run({"one.npy"}, 1, "one.npy: connectivity needs at least 2 epochs, found 1");
  run({"flat.npy"}, 1, "flat.npy: expected epochs x channels x samples (3 dimensions), found shape (3, 80)");
  run({"a.npy", "--ch-names", "missing.txt"}, 1, "missing.txt: cannot open");
  // 32 x 32 pairs of 20000 x 200 cells, one plane and its backup, row tables included: 61.3 GB.
  writeFloat32("long.npy", {2, 32, 20000}, std::vector<float>(2 * 32 * 20000, 0.25f));
  run({"long.npy", "--sfreq", "1000", "--freqs", "1:200:1"}, 1, "long.npy: the result needs 61.3 GB (32 x 32 pairs of 20000 time x 200 frequency points");
  expectHas(last.err, {"keep fewer time points, e.g. decim"});
  run({"a.npy", "--method", "granger"}, 2, "granger");
  run({"a.npy", "--freqs", "4:x:2"}, 2, "--freqs: 'x' is not a number");
}

}  // namespace
