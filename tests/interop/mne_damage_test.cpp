// Files that are not, or no longer, what mne-connectivity writes: each is
// refused with a message naming the file and the problem, and none crashes
// the reader or makes it ask for memory the file cannot back.
#include <gtest/gtest.h>
#include <hdf5.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mne_helpers.h"

#if defined(__SANITIZE_ADDRESS__)
// HDF5 1.10 keeps what it read of some damaged files until the end (see
// OverwrittenBytesAreReadOrRefused); those blocks are its own, not ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libhdf5"; }
#endif

namespace megcxc::test {
namespace {

using interop::readMneConnectivity;
using interop::writeMneConnectivity;

class MneDamageTest : public MneFileTest {
 protected:
  // A valid file of 3 nodes (complex, all pairs) to damage.
  std::string written() {
    const std::string path = file("good.nc");
    writeMneConnectivity(path, knownMatrix(3, 4, 5, true));
    return path;
  }
};

TEST_F(MneDamageTest, FilesThatAreNotHdf5AreRefused) {
  expectReadRefused(file("absent.nc"), "cannot open");
  expectReadRefused(dir.string(), "is a directory");
  writeBytes(file("empty.nc"), {});
  expectReadRefused(file("empty.nc"), "is empty");
  const std::string text = "CDF\x01 netCDF classic, or any text at all";
  writeBytes(file("text.nc"), std::vector<char>(text.begin(), text.end()));
  expectReadRefused(file("text.nc"), "not an HDF5 (netCDF-4) file");
}

TEST_F(MneDamageTest, TruncatedFilesAreRefusedAtEveryLength) {
  const std::vector<char> bytes = fileBytes(dataFile("cwt_cohy.nc"));
  ASSERT_GT(bytes.size(), 1000u);
  for (const std::size_t keep : {std::size_t{8}, std::size_t{100}, bytes.size() / 2, bytes.size() - 1000,
                                 bytes.size() - 1}) {
    const std::string path = file("cut" + std::to_string(keep) + ".nc");
    writeBytes(path, std::vector<char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(keep)));
    SCOPED_TRACE(keep);
    EXPECT_THROW(readMneConnectivity(path), Refused);
    if (keep == bytes.size() / 2) expectReadRefused(path, "truncated");
  }
}

// Every 13th byte of a file of mne-connectivity overwritten in turn: each
// damaged file is either read or refused, never anything else, and no HDF5
// identifier stays open. (HDF5 1.10 itself keeps the metadata of some
// damaged files until the program ends and says "infinite loop closing
// library" on stderr then; the exit status stays 0.)
TEST_F(MneDamageTest, OverwrittenBytesAreReadOrRefused) {
  const std::vector<char> bytes = fileBytes(dataFile("cwt_coh.nc"));
  const std::string path = file("poked.nc");
  int refused = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 13) {
    std::vector<char> poked = bytes;
    poked[at] = static_cast<char>(poked[at] ^ 0x5A);
    writeBytes(path, poked);
    try {
      readMneConnectivity(path);
    } catch (const Refused&) {
      ++refused;
    }
    EXPECT_EQ(H5Fget_obj_count(H5F_OBJ_ALL, H5F_OBJ_ALL), 0) << "HDF5 objects left open after byte " << at;
  }
  EXPECT_GT(refused, 0);
}

TEST_F(MneDamageTest, OtherClassesAndMissingAttributesAreRefused) {
  const std::vector<std::pair<std::function<void(hid_t)>, std::string>> cases = {
      {[](hid_t var) { setText(var, "data_structure", "EpochSpectroTemporalConnectivity"); },
       "connectivity per epoch is not supported"},
      {[](hid_t var) { setText(var, "data_structure", "SpectralConnectivity"); },
       "holds SpectralConnectivity, not SpectroTemporalConnectivity"},
      {[](hid_t var) { H5Adelete(var, "data_structure"); }, "no 'data_structure' attribute"},
      {[](hid_t var) { H5Adelete(var, "node_names"); }, "no 'node_names' attribute"},
  };
  for (const auto& [edit, what] : cases) {
    const std::string path = written();
    editFile(path, [&](hid_t, hid_t var) { edit(var); });
    expectReadRefused(path, what);
  }
}

TEST_F(MneDamageTest, ChunkedVariableDeclaringMoreThanTheFileHoldsIsRefused) {
  const std::string path = written();
  editFile(path, [](hid_t file, hid_t var) {
    // A chunked variable of 1.8 * 10^11 values never written: a few hundred
    // bytes on disk.
    (void)var;
    H5Ldelete(file, "__xarray_dataarray_variable__", H5P_DEFAULT);
    const hsize_t dims[3] = {9, 4000000, 5000};
    const hsize_t chunk[3] = {1, 100, 100};
    const hid_t space = H5Screate_simple(3, dims, nullptr);
    const hid_t dcpl = H5Pcreate(H5P_DATASET_CREATE);
    H5Pset_chunk(dcpl, 3, chunk);
    const hid_t ds = H5Dcreate2(file, "__xarray_dataarray_variable__", H5T_IEEE_F64LE, space, H5P_DEFAULT, dcpl, H5P_DEFAULT);
    setText(ds, "data_structure", "SpectroTemporalConnectivity");
    H5Dclose(ds);
    H5Pclose(dcpl);
    H5Sclose(space);
  });
  expectReadRefused(path, "declares more values than the file can hold");
}

}  // namespace
}  // namespace megcxc::test
