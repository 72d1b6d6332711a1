// cxc and mne-connectivity files: a collection's dataset goes out and comes
// back unchanged, and a file spectral_connectivity_epochs wrote (one
// triangle only) comes in as a complete, conjugate-symmetric matrix.
#include <gtest/gtest.h>

#include <complex>
#include <string>

#include "cxc_test_support.h"

using namespace cxc_test;

namespace {

const std::string kFixtures = std::string(MEGCXC_SOURCE_DIR) + "/tests/interop/data/";

class CxcMneConnectivityTest : public CxcTest {};

TEST_F(CxcMneConnectivityTest, ADatasetGoesOutAndComesBackWithItsNamesAndSeconds) {
  ASSERT_TRUE(ok({"demo", "--sensors", "3", "--time", "4", "--freq", "5", "-o", "d.cxc"}));
  ASSERT_TRUE(ok({"export", "d.cxc", "-o", "nc", "--format", "mne-connectivity", "--class", "active"}));
  ASSERT_TRUE(ok({"import", "back.cxc", "--class", "active", "--from", "nc/active_connectivity.nc"}));
  ASSERT_TRUE(ok({"export", "d.cxc", "-o", "a", "--class", "active"}));
  ASSERT_TRUE(ok({"export", "back.cxc", "-o", "b", "--class", "active"}));
  EXPECT_EQ(npy("a/active_cross.npy").values, npy("b/active_cross.npy").values);
  EXPECT_EQ(npy("a/active_freqs.npy").values, npy("b/active_freqs.npy").values);
  EXPECT_EQ(npy("a/active_times_s.npy").values, npy("b/active_times_s.npy").values);
}

TEST_F(CxcMneConnectivityTest, AnEpochsConnectivityFileFillsBothTriangles) {
  ASSERT_TRUE(ok({"import", "c.cxc", "--class", "active", "--from", kFixtures + "cwt_cohy.nc"}));
  expectHas(last.out, {"(cohy)", "3 x 3 sensors, 5 time x 4 frequency points, complex",
                       "the other is completed from it"});
  ASSERT_TRUE(ok({"export", "c.cxc", "-o", "e"}));
  const Npy file = readNpy(kFixtures + "cwt_cohy.npy");  // (9 connections, 4 freqs, 5 times)
  const Npy cross = npy("e/active_cross.npy");           // (3, 3, 5 times, 4 freqs)
  ASSERT_EQ(cross.shape, (std::vector<int64_t>{3, 3, 5, 4}));
  const auto at = [](const Npy& a, std::size_t k) { return std::complex<double>(a.values[2 * k], a.values[2 * k + 1]); };
  for (std::size_t k = 0; k < 20; ++k) {  // time k / 4, frequency k % 4
    const std::complex<double> stored = at(file, 6 * 20 + k % 4 * 5 + k / 4);  // connection (2, 0)
    EXPECT_EQ(at(cross, 6 * 20 + k), stored) << k;
    EXPECT_EQ(at(cross, 2 * 20 + k), std::conj(stored)) << k;
    EXPECT_EQ(at(cross, 4 * 20 + k), std::complex<double>(0.0, 0.0)) << k;
  }
  expectFailure({"import", "x.cxc", "--class", "active", "--from", kFixtures + "make_fixtures.py"}, 1,
                "make_fixtures.py", "x.cxc");
}

}  // namespace
