// Runs a record's archive routine against memory: the bytes it stores, or
// its result on bytes given. Every test folder stores and loads records this
// way; each wraps these in a store()/load() of its own record type.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/carchive.h"
#include "platform/cfile.h"

namespace megcxc::test {

// The bytes `serialize(ar)` writes into a storing archive (expected to
// return 1), after the archive is closed.
template <class Serialize>
std::vector<uint8_t> storedBytes(Serialize&& serialize, std::size_t bufferSize = 1u << 16) {
  CMemFile file;
  CArchive ar(&file, CArchive::store, bufferSize);
  EXPECT_EQ(serialize(ar), 1);
  ar.Close();
  return file.bytes();
}

// The result of `serialize(ar)` on a loading archive over `bytes`.
template <class Serialize>
int loadedFrom(const std::vector<uint8_t>& bytes, Serialize&& serialize) {
  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load);
  return serialize(ar);
}

}  // namespace megcxc::test
