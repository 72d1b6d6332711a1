#include "spectral/spctm_chn_chn_data09_file.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"

namespace {

constexpr int kPlanes = 3;
// Largest ratio of a plane's cell bytes to the bytes its block occupies in
// the stream (see loadPlaneBlock).
constexpr std::size_t kMaxCellsPerBlockByte = 8;

// What the reader is reading, for the text of an archive exception.
struct ReadSpot {
  const char* section = "";
  const char* item = "";
  int planeIndex = -1;
  int64_t row = -1;
  bool pairKnown = false;
  int64_t chnA = -1;
  int64_t chnB = -1;
};

[[noreturn]] void rethrowAt(const CArchiveException& e, const ReadSpot& spot) {
  char where[256];
  int n;
  if (spot.row >= 0) {
    n = std::snprintf(where, sizeof where, " (%s of row %lld of %s plane %d", spot.item,
                      static_cast<long long>(spot.row), spot.section, spot.planeIndex);
  } else if (spot.planeIndex >= 0) {
    n = std::snprintf(where, sizeof where, " (%s of %s plane %d", spot.item, spot.section, spot.planeIndex);
  } else {
    n = std::snprintf(where, sizeof where, " (%s of the %s section", spot.item, spot.section);
  }
  std::string text = std::string(e.what()) + (n > 0 ? where : " (");
  if (spot.pairKnown) {
    std::snprintf(where, sizeof where, " of channel pair (%lld, %lld))", static_cast<long long>(spot.chnA),
                  static_cast<long long>(spot.chnB));
    text += where;
  } else {
    text += " of a channel pair)";
  }
  throw CArchiveException(e.m_cause, e.m_offset, text);
}

// Owns a plane while it is being read.
class PlaneUnderConstruction {
 public:
  explicit PlaneUnderConstruction(double** p) : p_(p) {}
  ~PlaneUnderConstruction() { megcxc::releasePlane(p_); }
  PlaneUnderConstruction(const PlaneUnderConstruction&) = delete;
  PlaneUnderConstruction& operator=(const PlaneUnderConstruction&) = delete;
  double** get() const { return p_; }
  double** release() {
    double** p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  double** p_;
};

void storePlaneBlock(CArchive& ar, double** p, int64_t rows, int64_t cols) {
  // A plane without usable extents cannot be read back as one; it is stored
  // as absent.
  if (!p || rows < 1 || cols < 1) {
    ar << int32_t{0};
    return;
  }
  ar << int32_t{1};
  for (int64_t r = 0; r < rows; ++r) {
    if (p[r]) {
      ar << int32_t{1};
      ar.writeDoubles(p[r], static_cast<std::size_t>(cols));
    } else {
      ar << int32_t{0};
    }
  }
}

enum class BlockRead { absent, present, refused };

// Reads one plane block of rows x cols cells. On `present`, `out` holds the new
// plane; otherwise `out` is left alone. See the consistency rule in the header.
BlockRead loadPlaneBlock(CArchive& ar, int64_t rows, int64_t cols, double**& out, ReadSpot& spot) {
  spot.row = -1;
  spot.item = "presence flag";
  int32_t present = 0;
  ar >> present;
  if (present == 0) return BlockRead::absent;
  // A block stores its row flags and its present rows only, so a plane with
  // absent rows is smaller in the stream than in memory. The reader accepts a
  // complete block whose cells take at most kMaxCellsPerBlockByte times the
  // bytes the block occupies: every plane of complete rows passes, and a
  // short hostile stream can never make the reader hold more than a small
  // multiple of its own length, whatever its extents say. The rule looks at
  // the block alone, so whether a plane is accepted never depends on what
  // follows it in the stream.
  const std::size_t cellBytes = megcxc::checkedBytes(rows, cols, sizeof(double));
  if (rows < 1 || cols < 1 || cellBytes == SIZE_MAX || !ar.mayHold(megcxc::checkedBytes(rows, 1, 4))) {
    return BlockRead::refused;
  }
  // When the rest of the stream is known to be shorter than the cells, only
  // a block with absent rows can be complete; such a block that the stream
  // ends inside is refused like one that cannot be held.
  const bool whole = ar.mayHold(cellBytes);
  if (!whole && !ar.mayHold(cellBytes / kMaxCellsPerBlockByte)) return BlockRead::refused;
  PlaneUnderConstruction plane(megcxc::allocPlane(rows, cols, false));
  if (!plane.get()) return BlockRead::refused;
  double* data = megcxc::planeData(plane.get(), rows);
  const std::size_t rowCells = static_cast<std::size_t>(cols);
  uint64_t blockBytes = 0;
  try {
    for (int64_t r = 0; r < rows; ++r) {
      spot.row = r;
      spot.item = "row flag";
      int32_t flag = 0;
      ar >> flag;
      blockBytes += 4;
      double* row = data + r * cols;
      if (flag != 0) {
        spot.item = "cells";
        ar.readDoubles(row, rowCells);
        blockBytes += rowCells * sizeof(double);
      } else {
        // The cells of an absent row read as 0.0 in cell passes.
        std::memset(row, 0, rowCells * sizeof(double));
        plane.get()[r] = nullptr;
      }
    }
  } catch (const CArchiveException&) {
    if (whole) throw;
    spot.row = -1;
    return BlockRead::refused;
  }
  if (cellBytes / kMaxCellsPerBlockByte > blockBytes) {
    spot.row = -1;
    return BlockRead::refused;
  }
  spot.row = -1;
  out = plane.release();
  return BlockRead::present;
}

}  // namespace

int CSpctmChnChnData09File::serializeSpctmCzq(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << CString(megcxc::kSpctmChnlMagic);
    ar << megcxc::kSpctmChnlVersion;
    serializeSpctmC20130517(ar);
    ar.Flush();
    return 1;
  }
  ReadSpot spot;
  spot.section = "header";
  CString magic;
  int32_t version = 0;
  try {
    spot.item = "magic";
    ar >> magic;
    if (!(magic == CString(megcxc::kSpctmChnlMagic))) {
      AfxMessageBox("This is error in opening channel spectral data!", MB_OK);
      return 0;
    }
    spot.item = "version";
    ar >> version;
  } catch (const CArchiveException& e) {
    rethrowAt(e, spot);
  }
  switch (version) {
    case megcxc::kSpctmChnlVersion:
      return serializeSpctmC20130517(ar);
    case megcxc::kSpctmChnlVersion20090726:
      return serializeSpctmC20090726(ar);
    default:
      AfxMessageBox("This is error in opening channel spectral data!!!?", MB_OK);
      return 0;
  }
}

int CSpctmChnChnData09File::serializeSpctmC20130517(CArchive& ar) {
  if (ar.IsStoring()) {
    _01serializeSpctmData(ar);
    _02serializeSpctm2BkFile(ar);
    ar << isSelected;
    ar << static_cast<int32_t>(userTag);
    return 1;
  }
  if (!_01serializeSpctmData(ar)) return 0;
  if (!_02serializeSpctm2BkFile(ar)) return 0;
  ReadSpot spot;
  spot.section = "closing";
  spot.pairKnown = true;
  spot.chnA = chnA;
  spot.chnB = chnB;
  try {
    spot.item = "isSelected";
    bool selected = false;
    ar >> selected;
    isSelected = selected;
    spot.item = "userTag";
    int32_t tag = 0;
    ar >> tag;
    userTag = tag;
  } catch (const CArchiveException& e) {
    rethrowAt(e, spot);
  }
  return 1;
}

int CSpctmChnChnData09File::serializeSpctmC20090726(CArchive& ar) {
  if (ar.IsStoring()) {
    _01serializeSpctmData(ar);
    _02serializeSpctm2BkFile(ar);
    return 1;
  }
  if (!_01serializeSpctmData(ar)) return 0;
  return _02serializeSpctm2BkFile(ar);
}

int CSpctmChnChnData09File::_01serializeSpctmData(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << rangeMax << rangeMin << spctmAverage << chnA << chnB << timePt << freqPt;
    for (int d = 0; d < kPlanes; ++d) storePlaneBlock(ar, plane[d], timePt, freqPt);
    return 1;
  }
  _cleanSpctmData();
  ReadSpot spot;
  spot.section = "working";
  try {
    spot.item = "rangeMax";
    ar >> rangeMax;
    spot.item = "rangeMin";
    ar >> rangeMin;
    spot.item = "spctmAverage";
    ar >> spctmAverage;
    spot.item = "chnA";
    ar >> chnA;
    spot.item = "chnB";
    ar >> chnB;
    spot.pairKnown = true;
    spot.chnA = chnA;
    spot.chnB = chnB;
    spot.item = "timePt";
    ar >> timePt;
    spot.item = "freqPt";
    ar >> freqPt;
    for (int d = 0; d < kPlanes; ++d) {
      spot.planeIndex = d;
      double** p = nullptr;
      if (loadPlaneBlock(ar, timePt, freqPt, p, spot) == BlockRead::refused) {
        AfxMessageBox(d == 0 ? "Has enough memory?" : "Not enough memory!", MB_OK);
        return 0;
      }
      plane[d] = p;
    }
  } catch (const CArchiveException& e) {
    rethrowAt(e, spot);
  }
  return 1;
}

int CSpctmChnChnData09File::_02serializeSpctm2BkFile(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << rawTimePt << rawFreqPt;
    for (int d = 0; d < kPlanes; ++d) storePlaneBlock(ar, rawPlane[d], rawTimePt, rawFreqPt);
    return 1;
  }
  _cleanBkSpctmData();
  ReadSpot spot;
  spot.section = "backup";
  spot.pairKnown = true;
  spot.chnA = chnA;
  spot.chnB = chnB;
  try {
    spot.item = "rawTimePt";
    ar >> rawTimePt;
    spot.item = "rawFreqPt";
    ar >> rawFreqPt;
    for (int d = 0; d < kPlanes; ++d) {
      spot.planeIndex = d;
      double** p = nullptr;
      if (loadPlaneBlock(ar, rawTimePt, rawFreqPt, p, spot) == BlockRead::refused) {
        AfxMessageBox("Not enough memory!", MB_OK);
        return 0;
      }
      rawPlane[d] = p;
    }
  } catch (const CArchiveException& e) {
    rethrowAt(e, spot);
  }
  return 1;
}
