// CMMatrix1D9File: the archive form of a one-dimensional vector.
//
// Record layout (little-endian, self-delimiting):
//   magic    CString "MMATRIX1D" (Unicode form: FF FE FF 09 + 18 bytes)
//   version  int32 20250301
//   lower    int64 index of the first element (0 for an empty vector)
//   count    int64 number of elements, >= 0
//   values   count doubles, element lower first
// 42 bytes plus 8 per element.
#pragma once

#include <cstdint>

#include "sibling/mmatrix1d.h"

class CArchive;

namespace megcxc::vecfile {
inline constexpr const char* kMagic = "MMATRIX1D";
inline constexpr int32_t kVersion = 20250301;
}  // namespace megcxc::vecfile

class CMMatrix1D9File : public CMMatrix1D {
 public:
  // Storing: writes the record and returns 1. Loading: reads one record and
  // returns 1 with the vector holding exactly the stored bounds and values.
  // Returns 0 and leaves the vector unchanged when the magic or version is
  // not this layout's, the count is negative or larger than
  // megcxc::kMaxDeclaredBytes allows, the bounds would overflow, or the
  // buffer cannot be allocated. No message is shown. When the bounds
  // overflow or the buffer cannot be allocated, the values are still read and
  // dropped, so the stream is left after the record and a caller that does
  // not look at the result (the trial archive) reads its next item from the
  // right place. The buffer is allocated before the values are read when it
  // is small or the stream is known to hold them; otherwise the values are
  // gathered as they arrive. A stream that ends early throws
  // CArchiveException, naming the field and its byte offset; the vector is
  // then unchanged too.
  int serialize(CArchive& ar);
};
