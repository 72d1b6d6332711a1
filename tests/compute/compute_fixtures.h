// The reference arrays of the compute tests (tests/compute/data, written by
// make_fixtures.py with mne-connectivity), read with the library's .npy
// reader.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interop/npy.h"

#ifndef MEGCXC_COMPUTE_DATA
#define MEGCXC_COMPUTE_DATA "tests/compute/data"
#endif

struct RefArray {
  std::vector<int64_t> shape;
  std::vector<double> values;
  bool complex = false;
  double real(int64_t i) const { return complex ? values[static_cast<std::size_t>(2 * i)] : values[static_cast<std::size_t>(i)]; }
  double imag(int64_t i) const { return complex ? values[static_cast<std::size_t>(2 * i + 1)] : 0.0; }
};

inline RefArray loadReference(const std::string& name) {
  megcxc::interop::NpyReader reader(std::string(MEGCXC_COMPUTE_DATA) + "/" + name);
  RefArray a;
  a.shape = reader.shape();
  a.complex = reader.type() == megcxc::interop::NpyType::complex128;
  a.values = reader.readAll();
  return a;
}
