// Against mne-connectivity itself: read_connectivity reads what we write
// (its save read by us: python/tests/test_arrays.py).
// Runs when /usr/bin/python3 imports mne_connectivity, from the checkout in
// MEGCXC_MNE_CONNECTIVITY_PATH (or the folder CMake was given), else as
// installed; skipped otherwise.
#include <gtest/gtest.h>

#include <complex>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "interop/npy.h"
#include "mne_helpers.h"

#ifndef MEGCXC_MNE_CONNECTIVITY_DEFAULT
#define MEGCXC_MNE_CONNECTIVITY_DEFAULT ""
#endif

namespace megcxc::test {
namespace {

using interop::writeMneConnectivity;

constexpr const char* kPython = "/usr/bin/python3";

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (const char ch : s) q += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
  return q + "'";
}

class MnePythonTest : public MneFileTest {
 protected:
  void SetUp() override {
    const char* env = std::getenv("MEGCXC_MNE_CONNECTIVITY_PATH");
    const std::string checkout = env && *env ? env : MEGCXC_MNE_CONNECTIVITY_DEFAULT;
    prefix_ = checkout.empty() ? "" : "PYTHONPATH=" + quoted(checkout) + " ";
    if (!fs::exists(kPython)) GTEST_SKIP() << kPython << " not found";
    const std::string probe = prefix_ + kPython + " -c 'import mne_connectivity' > /dev/null 2>&1";
    if (std::system(probe.c_str()) != 0) {
      GTEST_SKIP() << "mne_connectivity cannot be imported by " << kPython
                   << (checkout.empty() ? std::string(" (set MEGCXC_MNE_CONNECTIVITY_PATH to a checkout)")
                                        : " from " + checkout);
    }
  }

  // Runs mne_check.py with `args`; fails the test with its output otherwise.
  void python(const std::string& args) {
    const std::string log = file("python.log");
    const std::string cmd =
        prefix_ + kPython + " " + quoted(dataFile("mne_check.py")) + " " + args + " > " + quoted(log) + " 2>&1";
    if (std::system(cmd.c_str()) != 0) {
      const std::vector<char> out = fileBytes(log);
      FAIL() << "mne_check.py " << args << " failed:\n" << std::string(out.begin(), out.end());
    }
  }

  // info.txt of `mne_check.py read`: key -> JSON text.
  std::map<std::string, std::string> info() {
    std::map<std::string, std::string> m;
    std::ifstream in(file("info.txt"));
    std::string line;
    while (std::getline(in, line)) {
      const auto tab = line.find('\t');
      if (tab != std::string::npos) m[line.substr(0, tab)] = line.substr(tab + 1);
    }
    return m;
  }

  std::vector<double> npy(const std::string& name, std::vector<int64_t>* shape = nullptr) {
    interop::NpyReader r(file(name));
    if (shape) *shape = r.shape();
    return r.readAll();
  }

  std::string prefix_;
};

TEST_F(MnePythonTest, ReadConnectivityReadsOurComplexMatrix) {
  MneConnectivity c = knownMatrix(3, 4, 2, true);
  c.nodeNames = {"MEG 0111", "Fz\u00e9", "name with spaces"};
  c.nEpochsUsed = 17;
  c.sfreq = 600.0;
  writeMneConnectivity(file("ours.nc"), c);
  python("read " + quoted(file("ours.nc")) + " " + quoted(dir.string()));
  if (HasFatalFailure()) return;

  std::vector<int64_t> shape;
  const std::vector<double> dense = npy("dense.npy", &shape);
  EXPECT_EQ(shape, (std::vector<int64_t>{3, 3, 4, 2}));
  ASSERT_EQ(dense.size(), 3u * 3 * 4 * 2 * 2);
  for (std::size_t at = 0; at < dense.size(); at += 2) {  // [row * 3 + col][f][t], complex
    const auto k = static_cast<int64_t>(at / 2);
    ASSERT_EQ(dense[at], knownReal(k / 8, k / 2 % 4, k % 2)) << k;
    ASSERT_EQ(dense[at + 1], knownImag(k / 8)) << k;
  }
  EXPECT_EQ(npy("freqs.npy"), c.freqs);
  EXPECT_EQ(npy("times.npy"), c.times);
  auto m = info();
  EXPECT_EQ(m["class"], "\"SpectroTemporalConnectivity\"");
  EXPECT_EQ(m["names"], "[\"MEG 0111\", \"Fz\u00e9\", \"name with spaces\"]");
  EXPECT_EQ(m["indices"], "\"all\"");
  EXPECT_EQ(m["n_epochs_used"], "17");
  EXPECT_EQ(m["sfreq"], "600.0");
}

}  // namespace
}  // namespace megcxc::test
