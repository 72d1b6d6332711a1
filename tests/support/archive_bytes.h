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

// A memory file that offers the archive no window onto its bytes, so they
// pass through the archive's buffer as those of a disk file or a pipe do.
class BufferedMemFile : public CMemFile {
 public:
  using CMemFile::CMemFile;
  const uint8_t* takeUnread(std::size_t& bytes) override {
    bytes = 0;
    return nullptr;
  }
  uint8_t* writeSpace(std::size_t, std::size_t& bytes) override {
    bytes = 0;
    return nullptr;
  }
};

// The bytes `serialize(ar)` writes into a storing archive (expected to
// return 1), after the archive is closed. It stores twice, straight into a
// memory file and through a buffer of `bufferSize` bytes, and expects the
// same bytes both ways.
template <class Serialize>
std::vector<uint8_t> storedBytes(Serialize&& serialize, std::size_t bufferSize = 1u << 16) {
  CMemFile file;
  BufferedMemFile buffered;
  for (CMemFile* f : {static_cast<CMemFile*>(&file), static_cast<CMemFile*>(&buffered)}) {
    CArchive ar(f, CArchive::store, bufferSize);
    EXPECT_EQ(serialize(ar), 1);
    ar.Close();
  }
  EXPECT_TRUE(file.bytes() == buffered.bytes()) << "stored in place and through the buffer differ";
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
