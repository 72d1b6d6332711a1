#include "trial/spctm_trl_cc_data09_file.h"

#include <new>
#include <utility>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/message_box.h"
#include "platform/read_context.h"
#include "spectral/spctm_basicx.h"

namespace {

using namespace megcxc::trlfile;
using megcxc::ReadContext;

constexpr const char* kRecord = "trial dataset";
constexpr const char* kWrongMagic = "The opened file is not SPCTM_CXC_TRIALZQ data or corrupted!";
constexpr const char* kWrongVersion = "Wrong trial spectral file format!!?";
constexpr const char* kNoRowTable = "Is memory enough?!";

// The basic section in the archive's direction. Storing always writes every
// field; loading skips auxValue1 / auxValue2 unless `withAuxValues` and stops
// after listItemId unless `withTail`.
void basicSection(CSpctmTrlCCData& d, CArchive& ar, bool withAuxValues, bool withTail) {
  const bool storing = ar.IsStoring();
  if (storing) withAuxValues = withTail = true;
  ReadContext ctx(ar, kRecord);
  auto io = [&](const char* item, auto& v) {
    if (storing) ar << v;
    else ctx.read(item, v);
  };
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
  // The vector record's own result is not looked at.
  if (storing) d.freqProfile.serialize(ar);
  else ctx.at("freqProfile").guard([&] { d.freqProfile.serialize(ar); });
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

// Rows of pairs read before the row table that will hold them exists (see
// loadPairSection); deleted unless handed over.
struct PendingRows {
  PendingRows() = default;
  PendingRows(const PendingRows&) = delete;
  PendingRows& operator=(const PendingRows&) = delete;
  ~PendingRows() {
    for (CSpctmChnChnDatazq* row : rows) delete[] row;
  }
  std::vector<CSpctmChnChnDatazq*> rows;
};

// Reads the `cols` channel-pair archives of row `r`, each with its own reader
// (whose result is not looked at: a refused pair has shown its message and
// consumed what its reader consumed; reading goes on). The row array is
// allocated first and put into `slot` when the pairs are few or the stream
// is known to hold them; otherwise the pairs are gathered as they arrive and
// the array is allocated once they are all read, so a hostile count on a
// stream of unknown length never makes the reader hold much more than it has
// read. Returns false, with `slot` untouched, when the array cannot be
// allocated (or is larger than kMaxDeclaredBytes, without reading the row).
bool loadPairRow(ReadContext& ctx, int64_t r, int64_t cols, CSpctmChnChnDatazq*& slot) {
  using megcxc::saturatedProduct;
  const uint64_t rowBytes = saturatedProduct(static_cast<uint64_t>(cols), sizeof(CSpctmChnChnDatazq));
  if (rowBytes > megcxc::kMaxDeclaredBytes) return false;
  CArchive& ar = ctx.archive();
  auto readPair = [&](int64_t c, CSpctmChnChnDatazq& pair) {
    ctx.at("channel pair").of("column", c).of("row", r);
    ctx.guard([&] { pair.serializeSpctmCzq(ar); });
  };
  if (megcxc::mayAllocateAhead(ar, rowBytes,
                               saturatedProduct(static_cast<uint64_t>(cols), kMinPairArchiveBytes))) {
    CSpctmChnChnDatazq* row = megcxc::xnewArray<CSpctmChnChnDatazq>(cols);
    if (row == nullptr) return false;
    slot = row;
    for (int64_t c = 0; c < cols; ++c) readPair(c, row[c]);
    return true;
  }
  std::vector<CSpctmChnChnDatazq> arrived;
  try {
    for (int64_t c = 0; c < cols; ++c) readPair(c, arrived.emplace_back());
  } catch (const std::bad_alloc&) {
    return false;
  }
  CSpctmChnChnDatazq* row = megcxc::xnewArray<CSpctmChnChnDatazq>(cols);
  if (row == nullptr) return false;
  for (int64_t c = 0; c < cols; ++c) row[c] = std::move(arrived[static_cast<std::size_t>(c)]);
  slot = row;
  return true;
}

// Reads a pair section: the newest form, or the old square one (`square`: no
// colSnsCount in the stream, rowSnsCount pairs per row). Keeps the matrix
// consistent at every point an exception may leave it (see the header).
int loadPairSection(CSpctmTrlCCData& d, CArchive& ar, bool square) {
  d._cleanSpctmCC();
  ReadContext ctx(ar, kRecord);
  ctx.read("rowSnsCount", d.rowSnsCount);
  if (!square) ctx.read("colSnsCount", d.colSnsCount);
  ctx.read("curActSns", d.curActSns);
  ctx.read("curCxcSns", d.curCxcSns);
  int32_t matrixFlag = 0;
  ctx.read("matrix flag", matrixFlag);
  const int64_t rows = d.rowSnsCount;
  const int64_t cols = square ? rows : d.colSnsCount;
  if (matrixFlag == 0 || rows < 1 || cols < 1) {
    if (square) d.colSnsCount = rows;
    return 1;
  }
  const uint64_t tableBytes = megcxc::saturatedProduct(static_cast<uint64_t>(rows), sizeof(CSpctmChnChnDatazq*));
  if (tableBytes > megcxc::kMaxDeclaredBytes) {
    AfxMessageBox(kNoRowTable, MB_OK);
    return 0;
  }
  // The table is allocated before the rows when it is small or the stream is
  // known to hold a row flag per row; otherwise the rows are kept aside as
  // they arrive and the table is allocated once they are all read.
  PendingRows pending;
  // The planes of the pairs take their blocks from the plane heap in batches.
  megcxc::PlaneBatchScope batches;
  if (megcxc::mayAllocateAhead(ar, tableBytes, static_cast<uint64_t>(rows) * kRowFlagBytes)) {
    CSpctmChnChnDatazq** table = megcxc::xnewArray<CSpctmChnChnDatazq*>(rows);
    if (table == nullptr) {
      AfxMessageBox(kNoRowTable, MB_OK);
      return 0;
    }
    for (int64_t r = 0; r < rows; ++r) table[r] = nullptr;
    d.pairMatrix = table;
    // The rows below hold `cols` pairs each, also while they are being read.
    d.colSnsCount = cols;
  }
  try {
    for (int64_t r = 0; r < rows; ++r) {
      ctx.at("row flag").of("row", r);
      int32_t rowFlag = 0;
      ctx.get(rowFlag);
      if (d.pairMatrix == nullptr) pending.rows.push_back(nullptr);
      if (rowFlag == 0) continue;
      CSpctmChnChnDatazq*& slot = d.pairMatrix ? d.pairMatrix[r] : pending.rows.back();
      if (!loadPairRow(ctx, r, cols, slot)) {
        if (square) d.colSnsCount = 0;
        return 0;
      }
    }
  } catch (const std::bad_alloc&) {
    if (square) d.colSnsCount = 0;
    return 0;
  }
  if (d.pairMatrix == nullptr) {
    CSpctmChnChnDatazq** table = megcxc::xnewArray<CSpctmChnChnDatazq*>(rows);
    if (table == nullptr) {
      AfxMessageBox(kNoRowTable, MB_OK);
      return 0;
    }
    for (int64_t r = 0; r < rows; ++r) table[r] = pending.rows[static_cast<std::size_t>(r)];
    pending.rows.clear();
    d.pairMatrix = table;
    d.colSnsCount = cols;
  }
  return 1;
}

}  // namespace

int CSpctmTrlCCData09File::serializeTrlSpctmZq(CArchive& ar) {
  if (ar.IsStoring()) {
    ar << CString(kMagic) << kVersion;
    serializeTrlSpctm20130524(ar);
    ar.Flush();
    return 1;
  }
  ReadContext ctx(ar, kRecord);
  CString magic;
  ctx.read("magic", magic);
  if (!(magic == kMagic) && !(magic == kMagicOld)) {
    AfxMessageBox(kWrongMagic, MB_OK);
    return 0;
  }
  int32_t version = 0;
  ctx.read("version", version);
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
  ReadContext ctx(ar, kRecord);
  ctx.read("cxcType", cxcType);
  ctx.read("auxInt10", auxInt10);
  ctx.read("auxInt11", auxInt11);
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
  if (ar.IsStoring()) {
    ar << hasRealPlane << hasImagPlane << hasPowerPhasePlane;
    for (auto& summary : summaryByDataType) summary.serializeSumCCD(ar);
    return 1;
  }
  ReadContext ctx(ar, kRecord);
  ctx.read("hasRealPlane", hasRealPlane);
  ctx.read("hasImagPlane", hasImagPlane);
  ctx.read("hasPowerPhasePlane", hasPowerPhasePlane);
  for (int k = 0; k < 3; ++k) {
    ctx.at("summary").of("data type", k);
    if (ctx.guard([&] { return summaryByDataType[k].serializeSumCCD(ar); }) != 1) return 0;
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
