#include "spectral/spctm_chn_chn_data09_file.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "platform/read_context.h"

namespace {

using megcxc::ReadContext;

constexpr int kPlanes = 3;
// Largest ratio of a plane's cell bytes to the bytes its block occupies in
// the stream (see loadPlaneBlock).
constexpr uint64_t kMaxCellsPerBlockByte = 8;
constexpr const char* kRecord = "channel pair";

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
    if (p[r]) ar.writePresentRow(p[r], static_cast<std::size_t>(cols));
    else ar << int32_t{0};
  }
}

enum class BlockRead { absent, present, refused };

// Reads one plane block of rows x cols cells (`label` and `index` name the
// plane). On `present`, `out` holds the new plane; otherwise `out` is left
// alone. See the consistency rule in the header.
//
// A plane that fits its declared extents is read up to the end of the stream
// if need be: a stream that ends inside it raises the archive exception, as
// reading it does. Only implausible extents (below 1, or more than
// kMaxDeclaredBytes) are refused before the block is read. The plane is
// allocated before its rows are read when mayAllocateAhead allows it (a small
// plane, or a stream known to hold all its rows); otherwise its rows are
// taken as they arrive and the plane is built once the block is complete.
BlockRead loadPlaneBlock(ReadContext& ctx, const char* label, int index, int64_t rows, int64_t cols,
                         double**& out) {
  ctx.at("presence flag").of(label, index);
  int32_t present = 0;
  ctx.get(present);
  if (present == 0) return BlockRead::absent;
  if (rows < 1 || cols < 1) return BlockRead::refused;
  using megcxc::saturatedProduct, megcxc::saturatedSum;
  const uint64_t cellBytes =
      saturatedProduct(saturatedProduct(static_cast<uint64_t>(rows), static_cast<uint64_t>(cols)), sizeof(double));
  const uint64_t tableBytes = saturatedProduct(static_cast<uint64_t>(rows) + 1, sizeof(double*));
  if (saturatedSum(cellBytes, tableBytes) > megcxc::kMaxDeclaredBytes) return BlockRead::refused;
  const uint64_t rowBytes = static_cast<uint64_t>(cols) * sizeof(double);
  const std::size_t rowCells = static_cast<std::size_t>(cols);
  const bool staged = !megcxc::mayAllocateAhead(ctx.archive(), cellBytes + tableBytes,
                                                cellBytes + 4 * static_cast<uint64_t>(rows));

  PlaneUnderConstruction plane(staged ? nullptr : megcxc::allocPlane(rows, cols, false));
  if (!staged && !plane.get()) return BlockRead::refused;
  double* data = staged ? nullptr : megcxc::planeData(plane.get(), rows);
  std::vector<uint8_t> rowPresent;
  std::vector<double> stagedCells;
  // A block stores its row flags and its present rows only, so a plane with
  // absent rows is smaller in the stream than in memory. The reader accepts a
  // complete block whose cells take at most kMaxCellsPerBlockByte times the
  // bytes the block occupies: every plane of complete rows passes, and a
  // short hostile stream can never make the reader hold more than a small
  // multiple of its own length, whatever its extents say. The rule looks at
  // the block alone, so whether a plane is accepted never depends on what
  // follows it in the stream.
  uint64_t blockBytes = 0;
  CArchive& ar = ctx.archive();
  ctx.at("row flag").of("row", 0).of(label, index);
  try {
    // One guard for the whole loop: each field is named with next().
    ctx.guard([&] {
      for (int64_t r = 0; r < rows; ++r) {
        if (!staged) {
          // Rows already in the archive's buffer (all of them from a memory
          // file) go straight into the plane; the loop below takes the rest
          // field by field.
          const auto got = static_cast<int64_t>(
              ar.readBufferedPresentRows(data + r * cols, static_cast<std::size_t>(rows - r), rowCells));
          blockBytes += static_cast<uint64_t>(got) * (4 + rowBytes);
          r += got;
          if (r == rows) break;
        }
        ctx.next("row flag", r);
        int32_t flag = 0;
        ar >> flag;
        blockBytes += 4;
        if (staged) rowPresent.push_back(flag != 0);
        if (flag == 0) {
          if (!staged) {
            // The cells of an absent row read as 0.0 in cell passes.
            std::memset(data + r * cols, 0, rowBytes);
            plane.get()[r] = nullptr;
          }
          continue;
        }
        ctx.next("cells", r);
        if (staged) ctx.appendDoubles(stagedCells, rowCells);
        else ar.readDoubles(data + r * cols, rowCells);
        blockBytes += rowBytes;
      }
    });
  } catch (const std::bad_alloc&) {
    return BlockRead::refused;
  }
  if (cellBytes / kMaxCellsPerBlockByte > blockBytes) return BlockRead::refused;
  if (!staged) {
    out = plane.release();
    return BlockRead::present;
  }
  PlaneUnderConstruction built(megcxc::allocPlane(rows, cols, false));
  if (!built.get()) return BlockRead::refused;
  data = megcxc::planeData(built.get(), rows);
  const double* from = stagedCells.data();
  for (int64_t r = 0; r < rows; ++r) {
    double* row = data + r * cols;
    if (rowPresent[static_cast<std::size_t>(r)]) {
      std::memcpy(row, from, rowBytes);
      from += rowCells;
    } else {
      std::memset(row, 0, rowBytes);
      built.get()[r] = nullptr;
    }
  }
  out = built.release();
  return BlockRead::present;
}

}  // namespace

int CSpctmChnChnData09File::serializeSpctmCzq(CArchive& ar) {
  // Every pair record starts with the magic: converted to UTF-16 once.
  static const CString kMagic(megcxc::kSpctmChnlMagic);
  if (ar.IsStoring()) {
    ar << kMagic;
    ar << megcxc::kSpctmChnlVersion;
    serializeSpctmC20130517(ar);
    ar.Flush();
    return 1;
  }
  ReadContext ctx(ar, kRecord);
  CString magic;
  ctx.read("magic", magic);
  if (!(magic == kMagic)) {
    AfxMessageBox("This is error in opening channel spectral data!", MB_OK);
    return 0;
  }
  int32_t version = 0;
  ctx.read("version", version);
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
  ReadContext ctx(ar, kRecord);
  ctx.identify(chnA, chnB);
  bool selected = false;
  ctx.read("isSelected", selected);
  isSelected = selected;
  int32_t tag = 0;
  ctx.read("userTag", tag);
  userTag = tag;
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
  ReadContext ctx(ar, kRecord);
  ctx.read("rangeMax", rangeMax);
  ctx.read("rangeMin", rangeMin);
  ctx.read("spctmAverage", spctmAverage);
  ctx.read("chnA", chnA);
  ctx.read("chnB", chnB);
  ctx.identify(chnA, chnB);
  ctx.read("timePt", timePt);
  ctx.read("freqPt", freqPt);
  for (int d = 0; d < kPlanes; ++d) {
    double** p = nullptr;
    if (loadPlaneBlock(ctx, "working plane", d, timePt, freqPt, p) == BlockRead::refused) {
      AfxMessageBox(d == 0 ? "Has enough memory?" : "Not enough memory!", MB_OK);
      return 0;
    }
    plane[d] = p;
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
  ReadContext ctx(ar, kRecord);
  ctx.identify(chnA, chnB);
  ctx.read("rawTimePt", rawTimePt);
  ctx.read("rawFreqPt", rawFreqPt);
  for (int d = 0; d < kPlanes; ++d) {
    double** p = nullptr;
    if (loadPlaneBlock(ctx, "backup plane", d, rawTimePt, rawFreqPt, p) == BlockRead::refused) {
      AfxMessageBox("Not enough memory!", MB_OK);
      return 0;
    }
    rawPlane[d] = p;
  }
  return 1;
}
