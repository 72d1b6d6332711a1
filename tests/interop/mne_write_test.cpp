// Our writer read back by our reader, the layout details read_connectivity
// relies on (checked with HDF5 directly, so it holds where mne-connectivity
// is not installed), and the refusals of the writer, which leave no file
// behind.
#include <gtest/gtest.h>
#include <hdf5.h>
#include <hdf5_hl.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mne_helpers.h"

namespace megcxc::test {
namespace {

using interop::readMneConnectivity;
using interop::writeMneConnectivity;

class MneWriteTest : public MneFileTest {
 protected:
  // Writes `c`, reads it back and expects every field to survive.
  MneConnectivity roundTrip(const MneConnectivity& c) {
    const std::string path = file("out.nc");
    writeMneConnectivity(path, c);
    MneConnectivity back = readMneConnectivity(path);
    EXPECT_EQ(back.complex, c.complex);
    EXPECT_EQ(back.data, c.data);
    EXPECT_EQ(back.freqs, c.freqs);
    EXPECT_EQ(back.times, c.times);
    EXPECT_EQ(back.nNodes, c.nNodes);
    EXPECT_EQ(back.nodeNames, c.nodeNames);
    EXPECT_EQ(back.method, c.method);
    EXPECT_EQ(back.seeds, c.seeds);
    EXPECT_EQ(back.targets, c.targets);
    EXPECT_EQ(back.sfreq, c.sfreq);
    EXPECT_EQ(back.nEpochsUsed, c.nEpochsUsed);
    return back;
  }

  // Expects writing `c` to be refused with `what`, leaving the folder empty.
  void expectWriteRefused(const MneConnectivity& c, const std::string& what) {
    const std::string path = file("out.nc");
    try {
      writeMneConnectivity(path, c);
      ADD_FAILURE() << "written; expected a refusal holding '" << what << "'";
    } catch (const Refused& e) {
      EXPECT_NE(std::string(e.what()).find(what), std::string::npos) << e.what();
    }
    EXPECT_TRUE(fs::is_empty(dir));
  }
};

// Every index form, and attributes of other names and unset values, survive.
TEST_F(MneWriteTest, EveryFormAndItsAttributesRoundTrip) {
  MneConnectivity c = knownMatrix(3, 4, 5, true);
  c.sfreq = 600.0;
  c.nEpochsUsed = 31;
  const MneConnectivity back = roundTrip(c);
  EXPECT_EQ(back.indices, MneIndices::all);
  EXPECT_EQ(back.layout, MneLayout::raveled);
  EXPECT_EQ(back.shape, (std::vector<int64_t>{9, 4, 5}));

  MneConnectivity sym = knownMatrix(3, 2, 3, false);
  sym.indices = MneIndices::symmetric;
  sym.data.resize(6 * 2 * 3);
  sym.shape = {6, 2, 3};
  EXPECT_EQ(roundTrip(sym).indices, MneIndices::symmetric);

  MneConnectivity pairs = knownMatrix(4, 2, 3, true);
  pairs.indices = MneIndices::pairs;
  pairs.seeds = {0, 1, 3};
  pairs.targets = {2, 2, 0};
  pairs.data.resize(3 * 2 * 3 * 2);
  pairs.shape = {3, 2, 3};
  EXPECT_EQ(roundTrip(pairs).indices, MneIndices::pairs);

  c = knownMatrix(2, 1, 1, false);
  c.indices = MneIndices::unset;
  c.method = {"coh", "plv"};
  c.nodeNames = {"Fz\u00e9", "name with spaces"};
  MneAttribute events = MneAttribute::real("events", 0), used = MneAttribute::real("freqs_used", 0),
               keys = MneAttribute::text("event_id_keys", "");
  events.shape = {0, 3}, events.reals.clear();
  used.shape = {2, 2}, used.reals = {8.0, 12.0, 13.0, 30.0};
  keys.shape = {2}, keys.texts = {"left", "right"};
  c.extra = {MneAttribute::text("spec_method", "cwt_morlet"), events, used, keys,
             MneAttribute::integer("n_cycles", 7), MneAttribute::text("metadata", "[{\"a\":1}]")};
  const MneConnectivity other = roundTrip(c);
  EXPECT_EQ(other.indices, MneIndices::unset);
  EXPECT_FALSE(other.nEpochsUsed.has_value());
  ASSERT_EQ(other.extra.size(), c.extra.size());
  for (std::size_t i = 0; i < c.extra.size(); ++i) EXPECT_EQ(other.extra[i].toString(), c.extra[i].toString()) << i;
  EXPECT_EQ(other.findExtra("freqs_used")->toString(), "[[8, 12], [13, 30]]");
}

// What read_connectivity needs from the layout: dimension scales in order,
// the complex compound of "r" and "i", strings as variable-length UTF-8.
TEST_F(MneWriteTest, LayoutIsTheOneXarrayWrites) {
  const std::string path = file("out.nc");
  writeMneConnectivity(path, knownMatrix(2, 3, 4, true));
  const hid_t f = H5Fopen(path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  ASSERT_GE(f, 0);
  const hid_t var = H5Dopen2(f, "__xarray_dataarray_variable__", H5P_DEFAULT);
  const hid_t type = H5Dget_type(var);
  ASSERT_EQ(H5Tget_class(type), H5T_COMPOUND);
  EXPECT_EQ(H5Tget_size(type), 16u);
  EXPECT_TRUE(H5Tget_member_index(type, "r") == 0 && H5Tget_member_index(type, "i") == 1);
  EXPECT_EQ(H5Tget_member_offset(type, 1), 8u);
  const char* scales[3] = {"node_in -> node_out", "freqs", "times"};
  for (unsigned d = 0; d < 3; ++d) {
    const hid_t s = H5Dopen2(f, scales[d], H5P_DEFAULT);
    ASSERT_GE(s, 0) << scales[d];
    EXPECT_GT(H5DSis_scale(s), 0);
    EXPECT_GT(H5DSis_attached(var, s, d), 0) << scales[d];
    int dimid = -1;
    const hid_t a = H5Aopen(s, "_Netcdf4Dimid", H5P_DEFAULT);
    H5Aread(a, H5T_NATIVE_INT, &dimid);
    EXPECT_EQ(dimid, static_cast<int>(d));
    H5Aclose(a);
    H5Dclose(s);
  }
  const hid_t names = H5Aopen(var, "node_names", H5P_DEFAULT);
  const hid_t ntype = H5Aget_type(names);
  EXPECT_GT(H5Tis_variable_str(ntype), 0);
  EXPECT_EQ(H5Tget_cset(ntype), H5T_CSET_UTF8);
  H5Tclose(ntype);
  H5Aclose(names);
  H5Tclose(type);
  H5Dclose(var);
  H5Fclose(f);
}

TEST_F(MneWriteTest, InconsistentContentIsRefusedAndNothingIsWritten) {
  MneAttribute badShape = MneAttribute::integer("events", 1);
  badShape.shape = {2};
  const std::vector<std::pair<std::function<void(MneConnectivity&)>, std::string>> cases = {
      {[](MneConnectivity& c) { c.data.pop_back(); }, "data values"},
      {[](MneConnectivity& c) { c.nodeNames.pop_back(); }, "2 node names for 3 nodes"},
      {[](MneConnectivity& c) { c.indices = MneIndices::symmetric; }, "does not match"},
      {[](MneConnectivity& c) { c.indices = MneIndices::pairs, c.seeds = {0}, c.targets = {3}; }, "outside the 3 nodes"},
      {[](MneConnectivity& c) { c.times.clear(); }, "no time points"},
      {[](MneConnectivity& c) { c.extra = {MneAttribute::text("method", "plv")}; }, "written from its own field"},
      {[&](MneConnectivity& c) { c.extra = {badShape}; }, "do not match its type and shape"},
  };
  for (const auto& [edit, what] : cases) {
    MneConnectivity c = knownMatrix(3, 2, 2, false);
    edit(c);
    expectWriteRefused(c, what);
  }
}

}  // namespace
}  // namespace megcxc::test
