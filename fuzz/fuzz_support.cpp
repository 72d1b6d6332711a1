#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "face/meg_spctm_cc_data_face.h"
#include "platform/alloc_hook.h"
#include "platform/cexception.h"
#include "platform/message_box.h"
#include "sibling/mmatrix1d.h"
#include "spectral/spctm_basicx.h"
#include "spectral/spctm_chn_chn_data.h"
#include "summary/sum_cc_spctm_data.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::fuzz {
namespace {

int64_t g_messages = 0;

// Reads one cell so that, under AddressSanitizer, a cell outside the storage
// is reported where it is touched.
void touch(const double* cell) {
  volatile double sink = *cell;
  (void)sink;
}

// A present plane must have extents of at least 1 x 1 and be one block of
// exactly rows x cols cells: the slot after the last row pointer holds the
// data start, every present row points at its own place in the block, and the
// first and the last cell can be read.
void checkPlane(double** p, int64_t rows, int64_t cols, const std::string& what) {
  if (p == nullptr) return;
  FUZZ_CHECK(rows >= 1 && cols >= 1, what + ": a plane is present while an extent is below 1");
  FUZZ_CHECK(checkedBytes(rows, cols, sizeof(double)) != SIZE_MAX, what + ": extents cannot be represented");
  const double* data = planeData(p, rows);
  FUZZ_CHECK(data != nullptr, what + ": plane without data block");
  for (int64_t r = 0; r < rows; ++r) {
    FUZZ_CHECK(p[r] == nullptr || p[r] == data + r * cols,
               what + ": row " + std::to_string(r) + " does not point at its place in the block");
  }
  touch(data);
  touch(data + (rows * cols - 1));
}

}  // namespace

void fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void installSilentMessageBox() {
  static const bool installed = [] {
    setMessageBoxHandler([](const CString& text, unsigned type) {
      ++g_messages;
      if (std::getenv("MEGCXC_FUZZ_VERBOSE") != nullptr) std::fprintf(stderr, "message: %s\n", text.toUtf8().c_str());
      return (type & 0x0F) == MB_YESNO ? IDYES : IDOK;
    });
    return true;
  }();
  (void)installed;
}

int64_t swallowedMessages() { return g_messages; }

const char* outcomeName(Outcome o) {
  switch (o) {
    case Outcome::loaded: return "loaded";
    case Outcome::refused: return "refused";
    case Outcome::archiveException: return "archive exception";
    case Outcome::memoryException: return "memory exception";
  }
  return "?";
}

namespace {
// With MEGCXC_FUZZ_VERBOSE set, every reader outcome is printed (for triage).
Outcome report(Outcome o, std::size_t size, const std::string& detail) {
  static const bool verbose = std::getenv("MEGCXC_FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "read %zu bytes: %s %s\n", size, outcomeName(o), detail.c_str());
  return o;
}
}  // namespace

Outcome readFrom(const uint8_t* data, std::size_t size, const std::function<int(CArchive&)>& read, int64_t* rest,
                 std::size_t bufferSize) {
  CMemFile file(std::vector<uint8_t>(data, data + size));
  CArchive ar(&file, CArchive::load, bufferSize);
  try {
    const int result = read(ar);
    const int64_t unread = ar.bytesRemaining();
    if (rest != nullptr) *rest = unread;
    return report(result == 1 ? Outcome::loaded : Outcome::refused, size, std::to_string(unread) + " unread");
  } catch (const CArchiveException& e) {
    // Loading archives only ever run out of bytes.
    FUZZ_CHECK(e.m_cause == CArchiveException::endOfFile, std::string("archive exception: ") + e.what());
    FUZZ_CHECK(e.m_offset >= 0 && static_cast<uint64_t>(e.m_offset) <= size,
               "archive exception offset outside the stream");
    return report(Outcome::archiveException, size, e.what());
  } catch (const CMemoryException& e) {
    return report(Outcome::memoryException, size, e.what());
  }
}

std::vector<uint8_t> writeTo(const std::function<void(CArchive&)>& write) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
  }
  return file.bytes();
}

void checkPair(const CSpctmChnChnData& pair, const char* where) {
  const std::string w = std::string(where) + ": channel pair";
  for (int d = 0; d < 3; ++d) {
    checkPlane(pair.plane[d], pair.timePt, pair.freqPt, w + " plane " + std::to_string(d));
    checkPlane(pair.rawPlane[d], pair.rawTimePt, pair.rawFreqPt, w + " raw plane " + std::to_string(d));
  }
}

void checkSummary(const CSumCCSpctmData& s, const char* where) {
  const std::string w = std::string(where) + ": summary";
  double** const arrays[6] = {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms};
  bool any = false;
  for (double** a : arrays) any = any || a != nullptr;
  if (!any) return;
  FUZZ_CHECK(s.arraysFitCounts(), w + ": arrays held with other extents than the counts");
  for (int k = 0; k < 6; ++k) checkPlane(arrays[k], s.timePtCount, s.freqPtCount, w + " array " + std::to_string(k));
}

void checkVector(const CMMatrix1D& v, const char* where) {
  const std::string w = std::string(where) + ": vector";
  if (v.pData == nullptr) {
    FUZZ_CHECK(v.size() == 0, w + ": elements without a buffer");
    return;
  }
  FUZZ_CHECK(v.capacity >= 1, w + ": buffer without capacity");
  FUZZ_CHECK(v.size() <= v.capacity, w + ": more elements than capacity");
  touch(v.pData);
  touch(v.pData + (v.capacity - 1));
  for (int64_t i = 0; i < v.size(); ++i) FUZZ_CHECK(!v.wrongIdx(v.lowBound + i), w + ": bounds disagree with size");
}

void checkTrial(const CSpctmTrlCCData& t, const char* where) {
  const std::string w = std::string(where) + ": trial";
  for (int d = 0; d < 3; ++d) checkSummary(t.summaryByDataType[d], w.c_str());
  checkVector(t.freqProfile, (w + " freqProfile").c_str());
  checkVector(t.timeProfile, (w + " timeProfile").c_str());
  if (t.pairMatrix == nullptr) return;
  // The table has exactly rowSnsCount slots; each present row holds at least
  // colSnsCount pairs (the old square form may hold more than a refused read
  // left in colSnsCount, never fewer).
  FUZZ_CHECK(t.rowSnsCount >= 1, w + ": pair matrix with a row count below 1");
  FUZZ_CHECK(t.colSnsCount >= 0, w + ": pair matrix with a negative column count");
  volatile const void* lastSlot = t.pairMatrix[t.rowSnsCount - 1];
  (void)lastSlot;
  for (int64_t r = 0; r < t.rowSnsCount; ++r) {
    const auto* row = t.pairMatrix[r];
    if (row == nullptr) continue;
    for (int64_t c = 0; c < t.colSnsCount; ++c) checkPair(row[c], w.c_str());
  }
}

bool modestExtents(CSpctmTrlCCDatazq& ds) {
  constexpr int64_t kCellLimit = int64_t{1} << 16;
  return ds.checkDataIntegraty() == 1 && ds.timePt >= 1 && ds.freqPt >= 1 && ds.timePt <= kCellLimit / ds.freqPt;
}

void checkCollection(const CMEGSpctmCCDataFace& f, const char* where) {
  for (int k = 0; k < 3; ++k) {
    if (f.trialByClass[k] == nullptr) continue;
    for (int j = 0; j < k; ++j) {
      FUZZ_CHECK(f.trialByClass[j] != f.trialByClass[k], std::string(where) + ": one dataset in two class slots");
    }
    checkTrial(*f.trialByClass[k], (std::string(where) + " class " + std::to_string(k)).c_str());
  }
}

}  // namespace megcxc::fuzz
