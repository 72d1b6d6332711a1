#include "summary/sum_cc_spctm_data09_file.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/message_box.h"
#include "platform/read_context.h"
#include "spectral/spctm_basicx.h"

namespace {
constexpr const char* kNoMemory = "Has enough memory?";
constexpr const char* kNoMemoryOld = "memory error?!";
constexpr const char* kWrongMagic = "The opened file is not trial data or corrupted!";
constexpr const char* kWrongVersion = "Wrong SumCCSpctmData09Fileformat!!?";

using megcxc::ReadContext;

constexpr const char* kRecord = "summary";
constexpr const char* kArrayNames[] = {"cellMin", "cellMean", "cellMax", "cellPosMean", "cellNegMean", "cellRms"};

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
  ReadContext ctx(ar, kRecord);
  CString magic;
  ctx.read("magic", magic);
  if (!(magic == kMagic)) {
    AfxMessageBox(kWrongMagic, MB_OK);
    return 0;
  }
  int32_t version = 0;
  ctx.read("version", version);
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

  using megcxc::saturatedProduct, megcxc::saturatedSum;
  cleanAll();
  ReadContext ctx(ar, kRecord);
  ctx.read("timePtCount", timePtCount);
  ctx.read("freqPtCount", freqPtCount);
  const int64_t rows = timePtCount, cols = freqPtCount;
  for (int k = 0; k < kArrayCount; ++k) {
    ctx.at("flag").of(kArrayNames[k]);
    int32_t flag = 0;
    ctx.get(flag);
    if (flag == 0) continue;
    if (rows < 1 || cols < 1) return 0;
    const uint64_t cells = saturatedProduct(static_cast<uint64_t>(rows), static_cast<uint64_t>(cols));
    const uint64_t cellBytes = saturatedProduct(cells, sizeof(double));
    const uint64_t planeBytes = saturatedSum(cellBytes, saturatedProduct(static_cast<uint64_t>(rows) + 1, sizeof(double*)));
    // Larger than any machine could hold: refused like a failed allocation.
    if (planeBytes > megcxc::kMaxDeclaredBytes) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    ctx.at("values").of(kArrayNames[k]);
    PlaneHolder plane;
    if (megcxc::mayAllocateAhead(ar, planeBytes, cellBytes)) {
      plane.reset(megcxc::allocPlane(rows, cols, false));
      if (!plane) {
        AfxMessageBox(kNoMemory, MB_OK);
        return 0;
      }
      // The cells of a plane are one row-major run.
      ctx.getDoubles(megcxc::planeData(plane.get(), rows), static_cast<std::size_t>(cells));
    } else {
      // The stream may not hold the values (its length is unknown, or shorter):
      // they are gathered as they arrive, and the array is allocated once
      // they are all there.
      std::vector<double> values;
      try {
        ctx.appendDoubles(values, cells);
      } catch (const std::bad_alloc&) {
        AfxMessageBox(kNoMemory, MB_OK);
        return 0;
      }
      plane.reset(megcxc::allocPlane(rows, cols, false));
      if (!plane) {
        AfxMessageBox(kNoMemory, MB_OK);
        return 0;
      }
      std::memcpy(megcxc::planeData(plane.get(), rows), values.data(), static_cast<std::size_t>(cellBytes));
    }
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
    return 1;
  }
  ReadContext ctx(ar, kRecord);
  int32_t computed = 0;
  ctx.read("isComputed", computed);
  isComputed = computed;
  ctx.read("pairCount", pairCount);
  ctx.read("minValue", minValue);
  ctx.read("meanValue", meanValue);
  ctx.read("maxValue", maxValue);
  ctx.read("posMeanValue", posMeanValue);
  ctx.read("negMeanValue", negMeanValue);
  ctx.read("rmsValue", rmsValue);
  ctx.read("absMaxValue", absMaxValue);
  ctx.read("spareValue2", spareValue2);
  ctx.read("absMinValue", absMinValue);
  ctx.read("spareValue6", spareValue6);
  ctx.read("spareValue5", spareValue5);
  ctx.read("spareValue4", spareValue4);
  return 1;
}

int CSumCCSpctmData09File::serialize20111222(CArchive& ar) {
  using megcxc::saturatedProduct;
  cleanAll();
  ReadContext ctx(ar, kRecord);
  int32_t skipInt = 0;
  ctx.read("leading int32 of version 20111222", skipInt);
  for (int i = 0; i < 10; ++i) {
    ctx.at("leading value").of("value", i);
    int64_t skipValue = 0;
    ctx.get(skipValue);
  }
  int64_t rows = 0, cols = 0;
  ctx.read("row count", rows);
  ctx.read("column count", cols);

  for (int block = 0; block < 3; ++block) {
    ctx.at("block flag").of("block", block);
    int32_t flag = 0;
    ctx.get(flag);
    if (flag == 0) continue;
    if (rows < 1 || cols < 1) return 0;
    const uint64_t cellBytes =
        saturatedProduct(saturatedProduct(static_cast<uint64_t>(rows), static_cast<uint64_t>(cols)), sizeof(double));
    if (cellBytes > megcxc::kMaxDeclaredBytes) {
      AfxMessageBox(kNoMemory, MB_OK);
      return 0;
    }
    // The values are dropped, so one scratch row, or a part of a row of at
    // most kReadAheadBytes, serves every row of the block. It is allocated at
    // the first present row; a long row passes through it in parts.
    const std::size_t rowCells = static_cast<std::size_t>(cols);
    const std::size_t scratchCells = std::min(rowCells, megcxc::kReadAheadBytes / sizeof(double));
    ScratchDoubles row;
    for (int64_t r = 0; r < rows; ++r) {
      ctx.at("row flag").of("row", r).of("block", block);
      int32_t rowFlag = 0;
      ctx.get(rowFlag);
      if (rowFlag == 0) continue;
      if (!row) {
        row.reset(static_cast<double*>(megcxc::xmalloc(scratchCells * sizeof(double))));
        if (!row) {
          AfxMessageBox(kNoMemory, MB_OK);
          return 0;
        }
      }
      ctx.at("values").of("row", r).of("block", block);
      for (std::size_t left = rowCells; left > 0;) {
        const std::size_t take = std::min(left, scratchCells);
        ctx.getDoubles(row.get(), take);
        left -= take;
      }
    }
  }

  int64_t count = 0;
  int32_t listFlag = 0;
  ctx.read("value count", count);
  ctx.read("value list flag", listFlag);
  if (count >= 1 && listFlag != 0) {
    if (saturatedProduct(static_cast<uint64_t>(count), sizeof(uint32_t) + sizeof(double)) >
        megcxc::kMaxDeclaredBytes) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    // The keys and values are dropped too: scratch arrays of at most
    // kReadAheadBytes take them in turn.
    const std::size_t scratch =
        static_cast<std::size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), megcxc::kReadAheadBytes / sizeof(double)));
    ScratchDoubles values(static_cast<double*>(megcxc::xmalloc(scratch * sizeof(double))));
    if (!values) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    std::vector<uint32_t, HookAllocator<uint32_t>> keys;
    try {
      keys.resize(scratch);
    } catch (const std::bad_alloc&) {
      AfxMessageBox(kNoMemoryOld, MB_OK);
      return 0;
    }
    for (int64_t i = 0; i < count; ++i) {
      const std::size_t slot = static_cast<std::size_t>(i) % scratch;
      ctx.at("key").of("entry", i);
      ctx.get(keys[slot]);
      ctx.at("value").of("entry", i);
      ctx.get(values.get()[slot]);
    }
  }
  return 1;
}
