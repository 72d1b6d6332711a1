#include "spectral/spctm_chn_chn_data.h"

#include "platform/message_box.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace {

void releaseAndClear(double**& p) {
  if (!p) return;
  megcxc::releasePlane(p);
  p = nullptr;
}

// True when `rows` is a table of `count` non-null row pointers.
bool allRowsPresent(const double* const* rows, int64_t count) {
  if (!rows) return false;
  for (int64_t r = 0; r < count; ++r) {
    if (!rows[r]) return false;
  }
  return true;
}

// Copies the host's rows into a freshly allocated plane (all rows present).
void copyHostRows(double** dst, const double* const* src, int64_t rows, int64_t cols) {
  const std::size_t rowBytes = static_cast<std::size_t>(cols) * sizeof(double);
  for (int64_t r = 0; r < rows; ++r) std::memcpy(dst[r], src[r], rowBytes);
}

// A copy of `src` for a record copy; shows "Has enough memory?" when it cannot
// be allocated and returns null then.
double** copyForRecord(double** src, int64_t rows, int64_t cols) {
  if (!src) return nullptr;
  double** copy = CSpctmBasicx::newBufferF2d(rows, cols, false);
  megcxc::copyPlaneBlock(copy, src, rows, cols);
  return copy;
}

}  // namespace

CSpctmChnChnData::CSpctmChnChnData()
    : rawTimePt(0),
      rawFreqPt(0),
      rawPlane{nullptr, nullptr, nullptr},
      rangeMax(0.0),
      rangeMin(0.0),
      spctmAverage(0.0),
      chnA(-1),
      chnB(-1),
      timePt(0),
      freqPt(0),
      plane{nullptr, nullptr, nullptr},
      isSelected(true),
      userTag(0) {}

CSpctmChnChnData::~CSpctmChnChnData() {
  _cleanSpctmData();
  _cleanBkSpctmData();
}

CSpctmChnChnData::CSpctmChnChnData(const CSpctmChnChnData& other)
    : rawTimePt(other.rawTimePt),
      rawFreqPt(other.rawFreqPt),
      rawPlane{nullptr, nullptr, nullptr},
      rangeMax(other.rangeMax),
      rangeMin(other.rangeMin),
      spctmAverage(other.spctmAverage),
      chnA(other.chnA),
      chnB(other.chnB),
      timePt(other.timePt),
      freqPt(other.freqPt),
      plane{nullptr, nullptr, nullptr},
      isSelected(other.isSelected),
      userTag(other.userTag) {
  for (int d = 0; d < 3; ++d) {
    plane[d] = copyForRecord(other.plane[d], timePt, freqPt);
    rawPlane[d] = copyForRecord(other.rawPlane[d], rawTimePt, rawFreqPt);
  }
}

CSpctmChnChnData& CSpctmChnChnData::operator=(const CSpctmChnChnData& other) {
  if (this != &other) {
    CSpctmChnChnData copy(other);
    *this = std::move(copy);
  }
  return *this;
}

CSpctmChnChnData::CSpctmChnChnData(CSpctmChnChnData&& other) noexcept
    : rawTimePt(other.rawTimePt),
      rawFreqPt(other.rawFreqPt),
      rawPlane{other.rawPlane[0], other.rawPlane[1], other.rawPlane[2]},
      rangeMax(other.rangeMax),
      rangeMin(other.rangeMin),
      spctmAverage(other.spctmAverage),
      chnA(other.chnA),
      chnB(other.chnB),
      timePt(other.timePt),
      freqPt(other.freqPt),
      plane{other.plane[0], other.plane[1], other.plane[2]},
      isSelected(other.isSelected),
      userTag(other.userTag) {
  for (int d = 0; d < 3; ++d) {
    other.plane[d] = nullptr;
    other.rawPlane[d] = nullptr;
  }
  other.timePt = other.freqPt = 0;
}

CSpctmChnChnData& CSpctmChnChnData::operator=(CSpctmChnChnData&& other) noexcept {
  if (this == &other) return *this;
  _cleanSpctmData();
  _cleanBkSpctmData();
  rawTimePt = other.rawTimePt;
  rawFreqPt = other.rawFreqPt;
  rangeMax = other.rangeMax;
  rangeMin = other.rangeMin;
  spctmAverage = other.spctmAverage;
  chnA = other.chnA;
  chnB = other.chnB;
  timePt = other.timePt;
  freqPt = other.freqPt;
  isSelected = other.isSelected;
  userTag = other.userTag;
  for (int d = 0; d < 3; ++d) {
    plane[d] = std::exchange(other.plane[d], nullptr);
    rawPlane[d] = std::exchange(other.rawPlane[d], nullptr);
  }
  other.timePt = other.freqPt = 0;
  return *this;
}

double** CSpctmChnChnData::planeOf(int dataType) const {
  if (dataType < 0 || dataType > 2) return nullptr;
  return plane[dataType];
}

double* CSpctmChnChnData::workingCells(int dataType) const {
  double** p = planeOf(dataType);
  if (!p || timePt < 1 || freqPt < 1) return nullptr;
  return megcxc::planeData(p, timePt);
}

bool CSpctmChnChnData::hasWorkingPlane() const { return plane[0] || plane[1] || plane[2]; }

int CSpctmChnChnData::_cleanSpctmData() {
  for (double**& p : plane) releaseAndClear(p);
  timePt = 0;
  freqPt = 0;
  return 1;
}

int CSpctmChnChnData::_cleanBkSpctmData() {
  for (double**& p : rawPlane) releaseAndClear(p);
  return 1;
}

int CSpctmChnChnData::checkInitpctmSpace(int64_t rows, int64_t cols, bool zeroFill, int withImag,
                                         int withPowerPhase) {
  if (rows != timePt || cols != freqPt) _cleanSpctmData();
  if (rows < 1 || cols < 1) return 0;
  timePt = rows;
  freqPt = cols;
  if (withImag == 0) releaseAndClear(plane[1]);
  if (withPowerPhase == 0) releaseAndClear(plane[2]);
  const bool wanted[3] = {true, withImag != 0, withPowerPhase != 0};
  // The missing planes come from the plane heap in one call, in plane order.
  double*** missing[3];
  int count = 0;
  for (int d = 0; d < 3; ++d) {
    if (!wanted[d]) continue;
    if (plane[d]) {
      if (zeroFill) megcxc::fillPlane(plane[d], rows, cols, 0.0);
    } else {
      missing[count++] = &plane[d];
    }
  }
  if (count == 0) return 1;
  double** made[3] = {nullptr, nullptr, nullptr};
  const int got = megcxc::allocPlanes(rows, cols, true, count, made);
  for (int i = 0; i < got; ++i) *missing[i] = made[i];
  if (got < count) {
    AfxMessageBox("Has enough memory?", MB_OK);
    return 0;
  }
  return 1;
}

int CSpctmChnChnData::verifySpctmData(int64_t rows, int64_t cols, int needImag, int needPowerPhase) const {
  if (rows < 1 || cols < 1 || rows != timePt || cols != freqPt) return 0;
  if (needImag != 0 && !plane[1]) return 0;
  if (needPowerPhase != 0 && !plane[2]) return 0;
  return 1;
}

double** CSpctmChnChnData::getSpctmDataPtr(int dataType, int64_t* pTimePt, int64_t* pFreqPt) const {
  if (pTimePt) *pTimePt = timePt;
  if (pFreqPt) *pFreqPt = freqPt;
  return planeOf(dataType);
}

int CSpctmChnChnData::addSpctmData2ChannelCWTri(const double* const* realRows, const double* const* imagRows,
                                                int64_t rows, int64_t cols) {
  if (rows < 1 || cols < 1 || !allRowsPresent(realRows, rows) || !allRowsPresent(imagRows, rows)) {
    _cleanSpctmData();
    return 0;
  }
  // Planes of these extents (those an initialisation prepared) take the rows
  // in place, unless a row lies inside one of them: then new planes are
  // built before the old ones go, so such rows stay readable while copied.
  if (takesRowsInPlace(rows, cols, realRows, imagRows, rows)) {
    copyHostRows(plane[0], realRows, rows, cols);
    copyHostRows(plane[1], imagRows, rows, cols);
    megcxc::restorePlaneRows(plane[0], rows, cols);
    megcxc::restorePlaneRows(plane[1], rows, cols);
    releaseAndClear(plane[2]);
    return storeData2Backupfile();
  }
  double** made[2] = {nullptr, nullptr};
  if (megcxc::allocPlanes(rows, cols, false, 2, made) != 2) {
    megcxc::releasePlane(made[0]);
    AfxMessageBox("Has enough memory?", MB_OK);
    _cleanSpctmData();
    return 0;
  }
  copyHostRows(made[0], realRows, rows, cols);
  copyHostRows(made[1], imagRows, rows, cols);
  _cleanSpctmData();
  plane[0] = made[0];
  plane[1] = made[1];
  timePt = rows;
  freqPt = cols;
  return storeData2Backupfile();
}

int CSpctmChnChnData::addSpctmData2ChannelCWTr(const double* const* realRows, int64_t rows, int64_t cols) {
  if (rows < 1 || cols < 1 || !allRowsPresent(realRows, rows)) {
    _cleanSpctmData();
    return 0;
  }
  if (takesRowsInPlace(rows, cols, realRows, nullptr, rows)) {
    copyHostRows(plane[0], realRows, rows, cols);
    megcxc::restorePlaneRows(plane[0], rows, cols);
    releaseAndClear(plane[1]);
    releaseAndClear(plane[2]);
    return storeData2Backupfile();
  }
  double** re = newBufferF2d(rows, cols, false);
  if (!re) {
    _cleanSpctmData();
    return 0;
  }
  copyHostRows(re, realRows, rows, cols);
  _cleanSpctmData();
  plane[0] = re;
  timePt = rows;
  freqPt = cols;
  return storeData2Backupfile();
}

bool CSpctmChnChnData::takesRowsInPlace(int64_t rows, int64_t cols, const double* const* realRows,
                                        const double* const* imagRows, int64_t count) const {
  if (rows != timePt || cols != freqPt || !plane[0] || (imagRows && !plane[1])) return false;
  // A row overlapping any block of this record (working or backup, table or
  // cells) could be overwritten before it is read. The blocks' byte ranges
  // are taken once: this runs for every pair a host hands in.
  struct Range {
    uintptr_t lo, hi;
  };
  Range blocks[6];
  int n = 0;
  auto add = [&](double** p, int64_t pr, int64_t pc) {
    if (!p || pr < 1 || pc < 1) return;
    blocks[n++] = {reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(megcxc::planeData(p, pr) + pr * pc)};
  };
  for (int d = 0; d < 3; ++d) {
    add(plane[d], timePt, freqPt);
    add(rawPlane[d], rawTimePt, rawFreqPt);
  }
  const uintptr_t rowBytes = static_cast<uintptr_t>(cols) * sizeof(double);
  auto inside = [&](const double* row) {
    const auto a = reinterpret_cast<uintptr_t>(row);
    bool hit = false;
    for (int i = 0; i < n; ++i) hit |= a < blocks[i].hi && a + rowBytes > blocks[i].lo;
    return hit;
  };
  for (int64_t r = 0; r < count; ++r) {
    if (inside(realRows[r]) || (imagRows && inside(imagRows[r]))) return false;
  }
  return true;
}

int CSpctmChnChnData::storeData2Backupfile() {
  if (timePt < 1 || freqPt < 1) return 0;
  // Raw planes of the working extents are overwritten where they are; the
  // others are released, and the missing ones come in one call to the heap.
  const bool sameExtents = rawTimePt == timePt && rawFreqPt == freqPt;
  double*** missing[3];
  int count = 0;
  for (int d = 0; d < 3; ++d) {
    if (!plane[d] || !sameExtents) releaseAndClear(rawPlane[d]);
    if (plane[d] && !rawPlane[d]) missing[count++] = &rawPlane[d];
  }
  rawTimePt = timePt;
  rawFreqPt = freqPt;
  double** made[3] = {nullptr, nullptr, nullptr};
  const int got = count > 0 ? megcxc::allocPlanes(timePt, freqPt, false, count, made) : 0;
  for (int i = 0; i < got; ++i) *missing[i] = made[i];
  // Planes in order, up to the first that could not be allocated.
  for (int d = 0; d < 3; ++d) {
    if (!plane[d]) continue;
    if (!rawPlane[d]) {
      // As if each raw plane were allocated in turn: none after this one.
      for (int e = d + 1; e < 3; ++e) releaseAndClear(rawPlane[e]);
      AfxMessageBox("Has enough memory?", MB_OK);
      return 0;
    }
    megcxc::copyPlaneBlock(rawPlane[d], plane[d], timePt, freqPt);
  }
  return 1;
}

int CSpctmChnChnData::reloadRawSpctmDataRIX() {
  if (rawTimePt < 1 || rawFreqPt < 1) return 0;
  if (rawTimePt != timePt || rawFreqPt != freqPt) _cleanSpctmData();
  timePt = rawTimePt;
  freqPt = rawFreqPt;
  for (int d = 0; d < 3; ++d) {
    if (!rawPlane[d]) continue;
    if (!plane[d]) {
      plane[d] = newBufferF2d(timePt, freqPt, false);
      if (!plane[d]) return 0;
    }
    megcxc::copyPlaneBlock(plane[d], rawPlane[d], timePt, freqPt);
  }
  return 1;
}

int CSpctmChnChnData::storeSpctmResult() {
  if (rawTimePt != timePt || rawFreqPt != freqPt) return storeData2Backupfile();
  if (!plane[2]) return 0;
  if (!rawPlane[2]) {
    if (rawTimePt < 1 || rawFreqPt < 1) return 0;
    rawPlane[2] = newBufferF2d(rawTimePt, rawFreqPt, false);
    if (!rawPlane[2]) return 0;
  }
  megcxc::copyPlaneBlock(rawPlane[2], plane[2], timePt, freqPt);
  return 1;
}
