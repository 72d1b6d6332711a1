// Files written by mne-connectivity 0.5 itself (tests/interop/data, made by
// make_fixtures.py): what we read must be what it wrote. The values of the
// wavelet results are compared with the arrays NumPy saved beside them, the
// others with the formula they were made from.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "interop/npy.h"
#include "mne_helpers.h"

namespace megcxc::test {
namespace {

using interop::mneDenseData;
using interop::readMneConnectivity;

std::vector<double> npyValues(const std::string& name) { return interop::NpyReader(dataFile(name)).readAll(); }

TEST(MneFixtureTest, WaveletCoherencyOfAllPairsIsReadAsStoredWithItsOtherAttributes) {
  const MneConnectivity c = readMneConnectivity(dataFile("cwt_cohy.nc"));
  EXPECT_EQ(c.dataStructure, "SpectroTemporalConnectivity");
  EXPECT_TRUE(c.complex);
  EXPECT_EQ(c.layout, MneLayout::raveled);
  EXPECT_EQ(c.shape, (std::vector<int64_t>{9, 4, 5}));
  EXPECT_EQ(c.dims, (std::vector<std::string>{"node_in -> node_out", "freqs", "times"}));
  EXPECT_EQ(c.freqs, (std::vector<double>{20.0, 25.0, 30.0, 35.0}));
  ASSERT_EQ(c.times.size(), 5u);
  for (int t = 0; t < 5; ++t) EXPECT_NEAR(c.times[t], 0.15 + 0.01 * t, 1e-12);
  EXPECT_EQ(c.nNodes, 3);
  EXPECT_EQ(c.nodeNames, (std::vector<std::string>{"MEG 0111", "MEG 0121", "MEG 0131"}));
  EXPECT_EQ(c.method, std::vector<std::string>{"cohy"});
  EXPECT_EQ(c.indices, MneIndices::unset);
  EXPECT_EQ(c.nEpochsUsed, 4);
  EXPECT_FALSE(c.sfreq.has_value());
  EXPECT_EQ(c.data, npyValues("cwt_cohy.npy"));
  const MneConnectivity coh = readMneConnectivity(dataFile("cwt_coh.nc"));  // coherence is real
  EXPECT_FALSE(coh.complex);
  EXPECT_EQ(coh.data, npyValues("cwt_coh.npy"));
  // The other attributes are kept in file order.
  std::vector<std::string> names;
  for (const MneAttribute& a : c.extra) names.push_back(a.name);
  EXPECT_EQ(names, (std::vector<std::string>{"spec_method", "freqs_used", "times_used", "n_tapers", "events", "metadata",
                                             "event_id_keys", "event_id_vals"}));
  EXPECT_EQ(c.extra[4].toString(), "[[0, 0, 1], [1, 0, 1], [2, 0, 1], [3, 0, 1]]");
}

TEST(MneFixtureTest, SymmetricIndicesMirrorTheUpperTriangle) {
  const MneConnectivity c = readMneConnectivity(dataFile("sym_coh.nc"));
  EXPECT_EQ(c.indices, MneIndices::symmetric);
  EXPECT_EQ(c.nodeNames, (std::vector<std::string>{"Fz", "Cz", "Pz\u00b0"}));
  const std::vector<double> dense = mneDenseData(c);
  ASSERT_EQ(dense.size(), 3u * 3 * 4 * 5);
  // numpy.triu_indices(3): (0,0) (0,1) (0,2) (1,1) (1,2) (2,2).
  const int triu[3][3] = {{0, 1, 2}, {1, 3, 4}, {2, 4, 5}};
  for (int k = 0; k < 180; ++k) ASSERT_EQ(dense[k], knownReal(triu[k / 60][k / 20 % 3], k / 5 % 4, k % 5)) << k;
}

TEST(MneFixtureTest, ExplicitPairsCarrySeedsTargetsAndSamplingRate) {
  const MneConnectivity c = readMneConnectivity(dataFile("pairs_imcoh.nc"));
  EXPECT_TRUE(c.complex);
  EXPECT_EQ(c.indices, MneIndices::pairs);
  EXPECT_EQ(c.seeds, (std::vector<int64_t>{0, 0, 2}));
  EXPECT_EQ(c.targets, (std::vector<int64_t>{1, 3, 3}));
  EXPECT_EQ(c.nNodes, 4);
  EXPECT_EQ(c.sfreq, 250.0);
  EXPECT_EQ(c.nEpochsUsed, 7);
  ASSERT_NE(c.findExtra("subject"), nullptr);
  EXPECT_EQ(c.findExtra("subject")->toString(), "s01");
  for (int k = 0; k < 60; ++k) {  // [pair][f][t], complex
    ASSERT_EQ(c.data[2 * k], knownReal(k / 20, k / 5 % 4, k % 5)) << k;
    ASSERT_EQ(c.data[2 * k + 1], knownImag(k / 20)) << k;
  }
  // Dense: the three pairs in their cells, NaN in the 13 others.
  const std::vector<double> dense = mneDenseData(c);
  ASSERT_EQ(dense.size(), 4u * 4 * 4 * 5 * 2);
  const std::size_t cell = 4 * 5 * 2;
  EXPECT_EQ(dense[(0 * 4 + 1) * cell], knownReal(0, 0, 0));
  EXPECT_EQ(dense[(0 * 4 + 3) * cell + 1], knownImag(1));
  EXPECT_EQ(dense[(2 * 4 + 3) * cell + cell - 2], knownReal(2, 3, 4));
  int nanCells = 0;
  for (std::size_t cellAt = 0; cellAt < 16; ++cellAt) nanCells += std::isnan(dense[cellAt * cell]) ? 1 : 0;
  EXPECT_EQ(nanCells, 13);
}

// The full matrix form, saved through xarray as mne-connectivity saves (0.5
// itself never writes it).
TEST(MneFixtureTest, FullMatrixFormIsReadDense) {
  const MneConnectivity c = readMneConnectivity(dataFile("dense_coh.nc"));
  EXPECT_EQ(c.layout, MneLayout::dense);
  EXPECT_EQ(c.shape, (std::vector<int64_t>{3, 3, 2, 2}));
  EXPECT_EQ(c.dims, (std::vector<std::string>{"node_in", "node_out", "freqs", "times"}));
  EXPECT_EQ(c.indices, MneIndices::all);
  EXPECT_FALSE(c.nEpochsUsed.has_value());
  const std::vector<double> dense = mneDenseData(c);
  ASSERT_EQ(dense.size(), 36u);
  for (int k = 0; k < 36; ++k) ASSERT_EQ(dense[k], knownReal(k / 4, k / 2 % 2, k % 2)) << k;
}

}  // namespace
}  // namespace megcxc::test
