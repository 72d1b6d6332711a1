#include "summary/sum_cc_spctm_data09_file.h"

#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/message_box.h"
#include "spectral/spctm_basicx.h"

namespace {
constexpr const char* kNoMemory = "Has enough memory?";
constexpr const char* kNoMemoryOld = "memory error?!";
constexpr const char* kWrongMagic = "The opened file is not trial data or corrupted!";
constexpr const char* kWrongVersion = "Wrong SumCCSpctmData09Fileformat!!?";

// True when a declared size can fit in the rest of the stream. A size that
// cannot is refused like a failed allocation (message and result 0) before
// anything is allocated for it: the stream cannot hold the values, and the
// allocation could be enormous.
bool fitsInStream(const CArchive& ar, uint64_t bytes) { return bytes != SIZE_MAX && ar.mayHold(bytes); }

struct PlaneRelease {
  void operator()(double** p) const { megcxc::releasePlane(p); }
};
using PlaneHolder = std::unique_ptr<double*, PlaneRelease>;

struct FreeRelease {
  void operator()(void* p) const { std::free(p); }
};
using ScratchDoubles = std::unique_ptr<double, FreeRelease>;

// Allocator of the old reader's scratch list: counted by the allocation hook,
// failing with std::bad_alloc.
template <class T>
struct HookAllocator {
  using value_type = T;
  HookAllocator() = default;
  template <class U>
  HookAllocator(const HookAllocator<U>&) {}  // NOLINT: rebinding
  T* allocate(std::size_t n) {
    void* p = megcxc::xmalloc(megcxc::checkedBytes(static_cast<int64_t>(n), 1, sizeof(T)));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  friend bool operator==(const HookAllocator&, const HookAllocator&) { return true; }
};
}  // namespace

int CSumCCSpctmData09File::serializeSumCCD(CArchive& ar) {
  using namespace megcxc::sumfile;
  if (ar.IsStoring()) {
    ar << CString(kMagic) << kVersion;
    serialSumChnl20130514(ar);
    ar.Flush();
    return 1;
  }
  CString magic;
  ar >> magic;
  if (!(magic == kMagic)) {
    AfxMessageBox(kWrongMagic, MB_OK);
    return 0;
  }
  int32_t version = 0;
  ar >> version;
  if (version == kVersion) return serialSumChnl20130514(ar);
  if (version == kVersionOld) return serialize20111222(ar);
  AfxMessageBox(kWrongVersion, MB_OK);
  return 0;
}

int CSumCCSpctmData09File::serialSumChnl20130514(CArchive& ar) {
  if (b00serialSumChnData_New(ar) != 1) return 0;
  return b01serialInfo_New(ar) == 1 ? 1 : 0;
}

int CSumCCSpctmData09File::b00serialSumChnData_New(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << timePtCount << freqPtCount;
    const bool writable = timePtCount >= 1 && freqPtCount >= 1 && arraysFitCounts();
    const std::size_t cols = writable ? static_cast<std::size_t>(freqPtCount) : 0;
    for (int k = 0; k < kArrayCount; ++k) {
      double* const* a = _array(k);
      if (!a || !writable) {
        ar << int32_t{0};
        continue;
      }
      ar << int32_t{1};
      for (int64_t r = 0; r < timePtCount; ++r) {
        if (a[r]) {
          ar.writeDoubles(a[r], cols);
        } else {
          for (std::size_t c = 0; c < cols; ++c) ar << 0.0;
        }
      }
    }
    return 1;
  }

  cleanAll();
  ar >> timePtCount >> freqPtCount;
  const int64_t rows = timePtCount, cols = freqPtCount;
  for (int k = 0; k < kArrayCount; ++k) {
    int32_t flag = 0;
    ar >> flag;
    if (flag == 0) continue;
    if (rows < 1 || cols < 1) return 0;
    const std::size_t bytes = megcxc::checkedBytes(rows, cols, sizeof(double));
    if (bytes == SIZE_MAX) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    PlaneHolder plane(fitsInStream(ar, bytes) ? megcxc::allocPlane(rows, cols, false) : nullptr);
    if (!plane) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    // The cells of a plane are one row-major run.
    ar.readDoubles(megcxc::planeData(plane.get(), rows), bytes / sizeof(double));
    // Attached only once complete: an exception above leaves the record with
    // the planes read before and releases this one.
    _array(k) = plane.release();
    _noteArrayExtents(rows, cols);
  }
  return 1;
}

int CSumCCSpctmData09File::b01serialInfo_New(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << int32_t{isComputed} << pairCount << minValue << meanValue << maxValue << posMeanValue << negMeanValue
       << rmsValue << absMaxValue << spareValue2 << absMinValue << spareValue6 << spareValue5 << spareValue4;
  } else {
    int32_t computed = 0;
    ar >> computed;
    isComputed = computed;
    ar >> pairCount >> minValue >> meanValue >> maxValue >> posMeanValue >> negMeanValue >> rmsValue >>
        absMaxValue >> spareValue2 >> absMinValue >> spareValue6 >> spareValue5 >> spareValue4;
  }
  return 1;
}

int CSumCCSpctmData09File::serialize20111222(CArchive& ar) {
  cleanAll();
  int32_t skipInt = 0;
  ar >> skipInt;
  for (int i = 0; i < 10; ++i) {
    int64_t skipValue = 0;
    ar >> skipValue;
  }
  int64_t rows = 0, cols = 0;
  ar >> rows >> cols;

  for (int block = 0; block < 3; ++block) {
    int32_t flag = 0;
    ar >> flag;
    if (flag == 0) continue;
    if (rows < 1 || cols < 1) return 0;
    if (megcxc::checkedBytes(rows, cols, sizeof(double)) == SIZE_MAX) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    if (!fitsInStream(ar, megcxc::checkedBytes(rows, 1, sizeof(int32_t)))) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    // The values are dropped, so one row of scratch serves every row of the
    // block. It is allocated at the first present row, once the stream is
    // known to hold that row, so a hostile column count never leads to a large
    // allocation.
    const std::size_t rowBytes = static_cast<std::size_t>(cols) * sizeof(double);
    ScratchDoubles row;
    for (int64_t r = 0; r < rows; ++r) {
      int32_t rowFlag = 0;
      ar >> rowFlag;
      if (rowFlag == 0) continue;
      if (!row) {
        if (fitsInStream(ar, rowBytes)) row.reset(static_cast<double*>(megcxc::xmalloc(rowBytes)));
        if (!row) {
          AfxMessageBox(kNoMemory, MB_OK);
          return 0;
        }
      }
      ar.readDoubles(row.get(), static_cast<std::size_t>(cols));
    }
  }

  int64_t count = 0;
  int32_t listFlag = 0;
  ar >> count >> listFlag;
  if (count >= 1 && listFlag != 0) {
    const std::size_t valueBytes = megcxc::checkedBytes(count, 1, sizeof(double));
    if (valueBytes == SIZE_MAX) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    const bool fits = fitsInStream(ar, megcxc::checkedBytes(count, 1, sizeof(uint32_t) + sizeof(double)));
    ScratchDoubles values(fits ? static_cast<double*>(megcxc::xmalloc(valueBytes)) : nullptr);
    if (!values) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    std::vector<uint32_t, HookAllocator<uint32_t>> list;
    try {
      list.reserve(static_cast<std::size_t>(count));
    } catch (const std::bad_alloc&) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    for (int64_t i = 0; i < count; ++i) {
      uint32_t key = 0;
      ar >> key >> values.get()[i];
      list.push_back(key);
    }
  }
  return 1;
}
