#include "trial/spctm_trl_cc_data09_file.h"

#include <cstdio>
#include <string>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/message_box.h"

namespace {

using namespace megcxc::trlfile;

constexpr const char* kWrongMagic = "The opened file is not SPCTM_CXC_TRIALZQ data or corrupted!";
constexpr const char* kWrongVersion = "Wrong trial spectral file format!!?";
constexpr const char* kNoRowTable = "Is memory enough?!";

// What is being read or written, so that an archive exception names the item
// and, in the pair section, the row and column.
struct Spot {
  explicit Spot(const char* section) : section(section) {}
  const char* section;
  const char* item = "";
  int64_t row = -1;
  int64_t col = -1;

  [[noreturn]] void rethrow(const CArchiveException& e) const {
    char where[200];
    if (row >= 0 && col >= 0) {
      std::snprintf(where, sizeof where, " (channel pair of row %lld, column %lld of the trial pair section)",
                    static_cast<long long>(row), static_cast<long long>(col));
    } else if (row >= 0) {
      std::snprintf(where, sizeof where, " (%s of row %lld of the trial pair section)", item,
                    static_cast<long long>(row));
    } else {
      std::snprintf(where, sizeof where, " (%s of the trial %s)", item, section);
    }
    throw CArchiveException(e.m_cause, e.m_offset, std::string(e.what()) + where);
  }
};

// One value in the archive's direction.
template <class T>
void xfer(CArchive& ar, T& v) {
  if (ar.IsStoring()) ar << v;
  else ar >> v;
}

// True when `count` items of at least `bytesEach` bytes may still follow in
// the stream; false also when the byte count cannot be represented.
bool restMayHold(const CArchive& ar, int64_t count, int64_t bytesEach) {
  if (count < 0 || count > INT64_MAX / bytesEach) return false;
  return ar.mayHold(static_cast<uint64_t>(count * bytesEach));
}

// The basic section in the archive's direction. Storing always writes every
// field; loading skips auxValue1 / auxValue2 unless `withAuxValues` and stops
// after listItemId unless `withTail`.
void basicSection(CSpctmTrlCCData& d, CArchive& ar, bool withAuxValues, bool withTail) {
  if (ar.IsStoring()) withAuxValues = withTail = true;
  Spot spot("basic section");
  auto io = [&](const char* item, auto& v) {
    spot.item = item;
    xfer(ar, v);
  };
  try {
    io("auxInt1", d.auxInt1);
    io("cmptType", d.cmptType);
    io("storeType", d.storeType);
    io("auxInt2", d.auxInt2);
    io("timePt", d.timePt);
    io("freqPt", d.freqPt);
    io("timeDataLength", d.timeDataLength);
    io("timeDataBegin", d.timeDataBegin);
    io("timeDataEnd", d.timeDataEnd);
    io("timePtOffset", d.timePtOffset);
    io("auxLong1", d.auxLong1);
    io("timeStep", d.timeStep);
    if (withAuxValues) {
      io("auxValue1", d.auxValue1);
      io("auxValue2", d.auxValue2);
    }
    io("freqFirstHz", d.freqFirstHz);
    io("freqLastHz", d.freqLastHz);
    io("freqAxisLog", d.freqAxisLog);
    io("freqStepHz", d.freqStepHz);
    io("freqRatio", d.freqRatio);
    io("auxFactor1", d.auxFactor1);
    io("auxFactor2", d.auxFactor2);
    io("auxLong2", d.auxLong2);
    io("auxInt3", d.auxInt3);
    io("resultType", d.resultType);
    io("auxInt4", d.auxInt4);
    io("selTimeBegin", d.selTimeBegin);
    io("selTimeEnd", d.selTimeEnd);
    io("selFreqBegin", d.selFreqBegin);
    io("selFreqEnd", d.selFreqEnd);
    io("auxLong3", d.auxLong3);
    io("auxInt5", d.auxInt5);
    io("auxInt6", d.auxInt6);
    io("auxInt7", d.auxInt7);
    io("auxLong4", d.auxLong4);
    io("auxInt8", d.auxInt8);
    io("auxInt9", d.auxInt9);
    io("trialName", d.trialName);
    io("iconFlag", d.iconFlag);
    io("listItemId", d.listItemId);
    if (!withTail) return;
    io("cxcType", d.cxcType);
    io("auxInt10", d.auxInt10);
    io("auxInt11", d.auxInt11);
    io("delay", d.delay);
    io("auxInt12", d.auxInt12);
    spot.item = "freqProfile";
    // The vector record's own result is not looked at.
    d.freqProfile.serialize(ar);
  } catch (const CArchiveException& e) {
    spot.rethrow(e);
  }
}

// Writes the pair section in the newest form.
void storePairSection(const CSpctmTrlCCData& d, CArchive& ar) {
  ar << d.rowSnsCount << d.colSnsCount << d.curActSns << d.curCxcSns;
  // Without usable counts the reader stops after the flag, so no rows may
  // follow it.
  if (d.pairMatrix == nullptr || d.rowSnsCount < 1 || d.colSnsCount < 1) {
    ar << int32_t{0};
    return;
  }
  ar << int32_t{1};
  // Each pair archive flushes at its end; the dataset flushes once after all
  // its sections instead, so a file is not written once per pair.
  CArchive::FlushDeferral oneFlush(ar);
  for (int64_t r = 0; r < d.rowSnsCount; ++r) {
    CSpctmChnChnDatazq* row = d.pairMatrix[r];
    if (row == nullptr) {
      ar << int32_t{0};
      continue;
    }
    ar << int32_t{1};
    for (int64_t c = 0; c < d.colSnsCount; ++c) row[c].serializeSpctmCzq(ar);
  }
}

// Reads a pair section: the newest form, or the old square one (`square`: no
// colSnsCount in the stream, rowSnsCount pairs per row). Keeps the matrix
// consistent at every point an exception may leave it (see the header).
int loadPairSection(CSpctmTrlCCData& d, CArchive& ar, bool square) {
  d._cleanSpctmCC();
  Spot spot("pair section");
  try {
    spot.item = "rowSnsCount";
    ar >> d.rowSnsCount;
    if (!square) {
      spot.item = "colSnsCount";
      ar >> d.colSnsCount;
    }
    spot.item = "curActSns";
    ar >> d.curActSns;
    spot.item = "curCxcSns";
    ar >> d.curCxcSns;
    spot.item = "matrix flag";
    int32_t matrixFlag = 0;
    ar >> matrixFlag;
    const int64_t rows = d.rowSnsCount;
    const int64_t cols = square ? rows : d.colSnsCount;
    if (matrixFlag == 0 || rows < 1 || cols < 1) {
      if (square) d.colSnsCount = rows;
      return 1;
    }
    CSpctmChnChnDatazq** table =
        restMayHold(ar, rows, kRowFlagBytes) ? megcxc::xnewArray<CSpctmChnChnDatazq*>(rows) : nullptr;
    if (table == nullptr) {
      AfxMessageBox(kNoRowTable, MB_OK);
      return 0;
    }
    for (int64_t r = 0; r < rows; ++r) table[r] = nullptr;
    d.pairMatrix = table;
    // The rows below hold `cols` pairs each, also while they are being read.
    d.colSnsCount = cols;
    for (int64_t r = 0; r < rows; ++r) {
      spot.row = r;
      spot.col = -1;
      spot.item = "row flag";
      int32_t rowFlag = 0;
      ar >> rowFlag;
      if (rowFlag == 0) continue;
      CSpctmChnChnDatazq* row =
          restMayHold(ar, cols, kMinPairArchiveBytes) ? megcxc::xnewArray<CSpctmChnChnDatazq>(cols) : nullptr;
      if (row == nullptr) {
        if (square) d.colSnsCount = 0;
        return 0;
      }
      d.pairMatrix[r] = row;
      for (int64_t c = 0; c < cols; ++c) {
        spot.col = c;
        // A refused pair has shown its own message; reading goes on.
        row[c].serializeSpctmCzq(ar);
      }
    }
    return 1;
  } catch (const CArchiveException& e) {
    spot.rethrow(e);
  }
}

}  // namespace

int CSpctmTrlCCData09File::serializeTrlSpctmZq(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << CString(kMagic) << kVersion;
    serializeTrlSpctm20130524(ar);
    ar.Flush();
    return 1;
  }
  Spot spot("header");
  CString magic;
  int32_t version = 0;
  try {
    spot.item = "magic";
    ar >> magic;
    if (!(magic == kMagic) && !(magic == kMagicOld)) {
      AfxMessageBox(kWrongMagic, MB_OK);
      return 0;
    }
    spot.item = "version";
    ar >> version;
  } catch (const CArchiveException& e) {
    spot.rethrow(e);
  }
  switch (version) {
    case kVersion:
      return serializeTrlSpctm20130524(ar);
    case kVersion20130514:
      return serializeTrlSpctm20130514(ar);
    case kVersion20130513:
      return serializeTrlSpctm20130513(ar);
    case kVersion20090726:
      return serializeTrlSpctm20090726(ar);
    default:
      AfxMessageBox(kWrongVersion, MB_OK);
      return 0;
  }
}

int CSpctmTrlCCData09File::serializeTrlSpctm20130524(CArchive& ar) {
  if (_00serializeTralSpctmBasic(ar) != 1) return 0;
  if (_01serializeSumCCSpctmData(ar) != 1) return 0;
  return _02serializeTrlSpctmCCData(ar) == 1 ? 1 : 0;
}

int CSpctmTrlCCData09File::serializeTrlSpctm20130514(CArchive& ar) {
  if (ar.IsStoring()) return serializeTrlSpctm20130524(ar);
  if (_00Zold1_serializeTralSpctmBasic(ar) != 1) return 0;
  if (_01serializeSumCCSpctmData(ar) != 1) return 0;
  return _02serializeTrlSpctmCCData(ar) == 1 ? 1 : 0;
}

int CSpctmTrlCCData09File::serializeTrlSpctm20130513(CArchive& ar) {
  if (ar.IsStoring()) return serializeTrlSpctm20130524(ar);
  _cleanSumCCSpctmData();
  _cleanSpctmCC();
  Spot spot("leading fields of version 20130513");
  try {
    spot.item = "cxcType";
    ar >> cxcType;
    spot.item = "auxInt10";
    ar >> auxInt10;
    spot.item = "auxInt11";
    ar >> auxInt11;
  } catch (const CArchiveException& e) {
    spot.rethrow(e);
  }
  if (_00Zold_serializeTralSpctmBasic(ar) != 1) return 0;
  if (_01serializeSumCCSpctmData(ar) != 1) return 0;
  return _02Zold_serializeTrlSpctmCCData(ar) == 1 ? 1 : 0;
}

int CSpctmTrlCCData09File::serializeTrlSpctm20090726(CArchive& ar) {
  if (ar.IsStoring()) return serializeTrlSpctm20130524(ar);
  _cleanSumCCSpctmData();
  _cleanSpctmCC();
  if (_00Zold_serializeTralSpctmBasic(ar) != 1) return 0;
  if (_01serializeSumCCSpctmData(ar) != 1) return 0;
  return _02Zold_serializeTrlSpctmCCData(ar) == 1 ? 1 : 0;
}

int CSpctmTrlCCData09File::_00serializeTralSpctmBasic(CArchive& ar) {
  basicSection(*this, ar, true, true);
  return 1;
}

int CSpctmTrlCCData09File::_00Zold1_serializeTralSpctmBasic(CArchive& ar) {
  basicSection(*this, ar, false, true);
  return 1;
}

int CSpctmTrlCCData09File::_00Zold_serializeTralSpctmBasic(CArchive& ar) {
  basicSection(*this, ar, false, false);
  return 1;
}

int CSpctmTrlCCData09File::_01serializeSumCCSpctmData(CArchive& ar) {
  Spot spot("summary section");
  try {
    spot.item = "hasRealPlane";
    xfer(ar, hasRealPlane);
    spot.item = "hasImagPlane";
    xfer(ar, hasImagPlane);
    spot.item = "hasPowerPhasePlane";
    xfer(ar, hasPowerPhasePlane);
  } catch (const CArchiveException& e) {
    spot.rethrow(e);
  }
  for (auto& summary : summaryByDataType) {
    if (summary.serializeSumCCD(ar) != 1) return 0;
  }
  return 1;
}

int CSpctmTrlCCData09File::_02serializeTrlSpctmCCData(CArchive& ar) {
  if (ar.IsStoring()) {
    storePairSection(*this, ar);
    return 1;
  }
  return loadPairSection(*this, ar, false);
}

int CSpctmTrlCCData09File::_02Zold_serializeTrlSpctmCCData(CArchive& ar) {
  if (ar.IsStoring()) {
    storePairSection(*this, ar);
    return 1;
  }
  return loadPairSection(*this, ar, true);
}
