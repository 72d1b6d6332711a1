// Shared by the mne-connectivity tests: the stored files, a scratch folder,
// connectivity of known values, and edits of a written file through the HDF5
// library itself (to make files our writer never would).
#pragma once

#include <gtest/gtest.h>
#include <hdf5.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "interop/mne_connectivity.h"
#include "platform/refused.h"

#ifndef MEGCXC_INTEROP_DATA
#define MEGCXC_INTEROP_DATA ""
#endif

namespace megcxc::test {

namespace fs = std::filesystem;
using interop::MneAttribute;
using interop::MneConnectivity;
using interop::MneIndices;
using interop::MneLayout;

inline std::string dataFile(const std::string& name) { return std::string(MEGCXC_INTEROP_DATA) + "/" + name; }

inline std::vector<char> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const fs::path& p, const std::vector<char>& bytes) {
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The value of connection c at frequency f and time t in the files of
// known values: 100 c + 10 f + t, imaginary part -(c + 1).
inline double knownReal(int64_t c, int64_t f, int64_t t) { return 100.0 * c + 10.0 * f + t; }
inline double knownImag(int64_t c) { return -(c + 1.0); }

// All-to-all connectivity of n nodes with the known values, raveled.
inline MneConnectivity knownMatrix(int64_t n, int64_t nf, int64_t nt, bool complex) {
  MneConnectivity c;
  c.complex = complex;
  c.nNodes = n;
  for (int64_t i = 0; i < n; ++i) c.nodeNames.push_back("MEG " + std::to_string(111 + 10 * i));
  c.indices = MneIndices::all;
  c.method = {complex ? "cohy" : "coh"};
  for (int64_t f = 0; f < nf; ++f) c.freqs.push_back(4.0 + 2.5 * static_cast<double>(f));
  for (int64_t t = 0; t < nt; ++t) c.times.push_back(-0.2 + 0.05 * static_cast<double>(t));
  c.shape = {n * n, nf, nt};
  for (int64_t k = 0; k < n * n; ++k)
    for (int64_t f = 0; f < nf; ++f)
      for (int64_t t = 0; t < nt; ++t) {
        c.data.push_back(knownReal(k, f, t));
        if (complex) c.data.push_back(knownImag(k));
      }
  return c;
}

// A scratch folder per test, removed afterwards.
class MneFileTest : public ::testing::Test {
 protected:
  MneFileTest()
      : dir(fs::temp_directory_path() /
            ("megcxc-mne-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name())) {
    fs::create_directories(dir);
  }
  ~MneFileTest() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  std::string file(const std::string& name) const { return (dir / name).string(); }

  // Expects reading `path` to be refused with a message that starts with
  // the path and holds `what`.
  static void expectReadRefused(const std::string& path, const std::string& what) {
    try {
      interop::readMneConnectivity(path);
      ADD_FAILURE() << path << " was read; expected a refusal holding '" << what << "'";
    } catch (const Refused& e) {
      const std::string msg = e.what();
      EXPECT_EQ(msg.rfind(path + ": ", 0), 0u) << msg;
      EXPECT_NE(msg.find(what), std::string::npos) << "'" << what << "' not in: " << msg;
    }
  }

  const fs::path dir;
};

// Opens a written file for editing with HDF5 and hands `edit` the file and
// its data variable.
inline void editFile(const std::string& path, const std::function<void(hid_t file, hid_t var)>& edit) {
  const hid_t file = H5Fopen(path.c_str(), H5F_ACC_RDWR, H5P_DEFAULT);
  ASSERT_GE(file, 0);
  const hid_t var = H5Dopen2(file, "__xarray_dataarray_variable__", H5P_DEFAULT);
  ASSERT_GE(var, 0);
  edit(file, var);
  H5Dclose(var);
  H5Fclose(file);
}

// Replaces attribute `name` of `obj` by a text (a scalar).
inline void setText(hid_t obj, const char* name, const std::string& value) {
  if (H5Aexists(obj, name) > 0) H5Adelete(obj, name);
  const hid_t type = H5Tcopy(H5T_C_S1);
  H5Tset_size(type, H5T_VARIABLE);
  const hid_t space = H5Screate(H5S_SCALAR);
  const hid_t a = H5Acreate2(obj, name, type, space, H5P_DEFAULT, H5P_DEFAULT);
  const char* p = value.c_str();
  H5Awrite(a, type, &p);
  H5Aclose(a);
  H5Sclose(space);
  H5Tclose(type);
}

}  // namespace megcxc::test
