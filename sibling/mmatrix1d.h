// CMMatrix1D: a one-dimensional vector of doubles over an index range
// [lowBound, upBound], as kept by each trial dataset for its per-frequency and
// per-time profiles. The vector owns its buffer; copies are independent.
#pragma once

#include <cstdint>

class CMMatrix1D {
 public:
  double* pData;     // buffer; element i (lowBound <= i <= upBound) is pData[i - lowBound]; null when empty
  int64_t capacity;  // doubles allocated in pData
  int64_t lowBound;  // index of the first element
  int64_t upBound;   // index of the last element; lowBound - 1 when empty

  // An empty vector: no buffer, bounds 0 and -1.
  CMMatrix1D();
  ~CMMatrix1D();
  // Independent copy of the other vector's elements and bounds. If the buffer
  // cannot be allocated the new vector is empty.
  CMMatrix1D(const CMMatrix1D& other);
  // Independent copy; if the buffer cannot be allocated this vector is left
  // unchanged.
  CMMatrix1D& operator=(const CMMatrix1D& other);
  CMMatrix1D(CMMatrix1D&& other) noexcept;
  CMMatrix1D& operator=(CMMatrix1D&& other) noexcept;

  // Makes the vector hold `count` elements indexed 0 .. count-1 and returns
  // its buffer (valid until the next call on this vector or its destruction).
  // A buffer that is already large enough is kept. With `zero` every element
  // is 0; without it the elements the vector held keep their values (the rest
  // are 0). Returns null and changes nothing when count < 1 or the buffer
  // cannot be allocated (no message: the caller decides what to show).
  double* checkInitData(int64_t count, bool zero);
  // Releases the buffer; the vector becomes empty.
  void clear();

  // True when i lies below the lower bound or above the upper bound (always
  // for an empty vector).
  bool wrongIdx(int64_t i) const {
    if (i < lowBound || i > upBound) return true;
    // Also wrong beyond the buffer, should the public bounds claim more.
    return static_cast<uint64_t>(i) - static_cast<uint64_t>(lowBound) >= static_cast<uint64_t>(size());
  }
  // Number of elements (0 when empty).
  int64_t size() const;
  double* getData() { return pData; }
  const double* getData() const { return pData; }
  // Element of index i; unchecked like a built-in array (test with wrongIdx).
  double& operator[](int64_t i) { return pData[i - lowBound]; }
  const double& operator[](int64_t i) const { return pData[i - lowBound]; }
  // Checked access: element i, or 0.0 for a wrong index.
  double getAt(int64_t i) const { return wrongIdx(i) ? 0.0 : pData[i - lowBound]; }
  // Sets element i: 1, or 0 (nothing changed) for a wrong index.
  int setAt(int64_t i, double v) {
    if (wrongIdx(i)) return 0;
    pData[i - lowBound] = v;
    return 1;
  }

 protected:
  // Takes `buffer` (count >= 0 doubles, from xmalloc, or null) as the vector's
  // content with first index `low`, releasing the previous buffer.
  void _adopt(double* buffer, int64_t count, int64_t low);
};
