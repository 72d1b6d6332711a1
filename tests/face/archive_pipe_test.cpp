// Archives read through a pipe, which cannot tell its length: records larger
// than what the readers set aside before their data arrives load exactly as
// from memory, and hostile extents end in the end-of-file exception without
// the process's memory growing with them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/alloc_test_hook.h"
#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "sibling/mmatrix1dzq.h"
#include "spectral/spctm_chn_chn_datazq.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "support/archive_bytes.h"
#include "support/bytes.h"
#include "support/fits.h"
#include "support/message_recorder.h"
#include "support/prefix_sweep.h"
#include "support/trial_bytes.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::test {
namespace {

using Read = std::function<int(CArchive&)>;

// The archive operation of each record.
int serialize(CSpctmChnChnDatazq& r, CArchive& ar) { return r.serializeSpctmCzq(ar); }
int serialize(CSumCCSpctmDatazq& r, CArchive& ar) { return r.serializeSumCCD(ar); }
int serialize(CSpctmTrlCCDatazq& r, CArchive& ar) { return r.serializeTrlSpctmZq(ar); }

template <class Record>
std::vector<uint8_t> stored(Record& r) {
  return storedBytes([&](CArchive& ar) { return serialize(r, ar); });
}

// Reads `bytes` through a pipe into a fresh record, which must load (1, no
// message, holding together) and write the same bytes.
template <class Record>
void expectSameThroughPipe(const std::vector<uint8_t>& bytes) {
  Record back;
  MessageRecorder messages;
  EXPECT_EQ(readThroughPipe(bytes, [&](CArchive& ar) { return serialize(back, ar); }), 1);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(misfit(back), "");
  EXPECT_TRUE(stored(back) == bytes);
}

// The readers gather a plane, a summary array, a vector, a string, a row
// table or a row of pairs larger than kReadAheadBytes as it arrives when the
// stream cannot tell its length; what they build must be what was stored.
TEST(ArchivePipe, LargeRecordsLoadAsFromMemory) {
  // A 600 x 300 real plane (1.4 MB) with rows 5 and 599 absent.
  CSpctmChnChnDatazq pair;
  std::vector<double> cells(600 * 300);
  std::vector<const double*> rows;
  for (std::size_t k = 0; k < cells.size(); ++k) cells[k] = 0.25 * static_cast<double>(k % 977) - 7.0;
  for (int r = 0; r < 600; ++r) rows.push_back(&cells[static_cast<std::size_t>(r) * 300]);
  ASSERT_EQ(pair.addSpctmData2ChannelCWTr(rows.data(), 600, 300), 1);
  pair.plane[0][5] = pair.plane[0][599] = nullptr;
  expectSameThroughPipe<CSpctmChnChnDatazq>(stored(pair));

  // Six 600 x 300 summary arrays.
  CSumCCSpctmDatazq summary;
  ASSERT_EQ(summary.checkInit(600, 300), 1);
  for (int64_t k = 0; k < 600 * 300; ++k) summary.cellRms[k / 300][k % 300] = static_cast<double>(k);
  expectSameThroughPipe<CSumCCSpctmDatazq>(stored(summary));

  // A trial with a 200,000-value profile, a 600,000-character name and a
  // row of 9,000 pairs (at least 128 bytes per record: beyond 1 MiB).
  CSpctmTrlCCDatazq trial;
  ASSERT_EQ(trial.checkInitSpctmCCData(1, 9000, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  ASSERT_NE(trial.freqProfile.checkInitData(200000, true), nullptr);
  trial.freqProfile[199999] = 2.5;
  trial.trialName = CString(std::u16string(600000, u'x'));
  trial.pairMatrix[0][8999].plane[0][0][0] = -1.5;
  expectSameThroughPipe<CSpctmTrlCCDatazq>(stored(trial));

  // A table of 140,000 rows (1.1 MB of row pointers), only row 7 present.
  CSpctmChnChnDatazq one;
  Bytes b = trialHead();
  b.i64(140000).i64(1).i64(0).i64(0).i32(1);
  for (int r = 0; r < 140000; ++r) {
    b.i32(r == 7 ? 1 : 0);
    if (r == 7) b.append(stored(one));
  }
  expectSameThroughPipe<CSpctmTrlCCDatazq>(b.bytes());
}

// About 100 bytes (2000 for a trial) that claim far more than they hold.
struct Hostile {
  const char* name;
  std::vector<uint8_t> bytes;
  Read read;
};

std::vector<uint8_t> padded(Bytes b, std::size_t to = 100) {
  while (b.size() < to) b.u8(1);
  return b.bytes();
}

std::vector<Hostile> hostileRecords() {
  static CSpctmChnChnDatazq pair;
  static CSumCCSpctmDatazq summary;
  static CSpctmTrlCCDatazq trial;
  static CMMatrix1Dzq vector;
  static CString text;
  const int64_t big = int64_t{1} << 27;
  const Bytes head = trialHead();
  return {
      {"pair of 2^27 x 1 cells",
       padded(Bytes().str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(0).i64(1).i64(big).i64(1).i32(1)),
       [](CArchive& ar) { return pair.serializeSpctmCzq(ar); }},
      {"summary of 2^27 x 1 cells", padded(Bytes().str("SUMCCSPCTMDATA").i32(20130514).i64(big).i64(1).i32(1)),
       [](CArchive& ar) { return summary.serializeSumCCD(ar); }},
      {"trial of 2^27 rows", padded(Bytes(head).i64(big).i64(1).i64(0).i64(0).i32(1), 2000),
       [](CArchive& ar) { return trial.serializeTrlSpctmZq(ar); }},
      {"trial row of 2^27 pairs", padded(Bytes(head).i64(1).i64(big).i64(0).i64(0).i32(1).i32(1), 2000),
       [](CArchive& ar) { return trial.serializeTrlSpctmZq(ar); }},
      {"vector of 2^27 values", padded(Bytes().str("MMATRIX1D").i32(20250301).i64(0).i64(big)),
       [](CArchive& ar) { return vector.serialize(ar); }},
      {"string of 2^31 characters", padded(Bytes().u8(0xFF).u16(0xFFFE).u8(0xFF).u16(0xFFFF).u32(0x80000000u)),
       [](CArchive& ar) {
         ar >> text;
         return 1;
       }},
  };
}

// Each record, through a pipe and from a file: the end-of-file exception,
// no counted allocation above kReadAheadBytes, and a peak resident memory
// (reset before each read) at most 16 MB above what the process held.
TEST(ArchiveLimits, HostileExtentsRunOutWithinSmallMemory) {
  MessageRecorder messages;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("megcxc_limits_" + std::to_string(::getpid()))).string();
  for (const Hostile& h : hostileRecords()) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(h.bytes.data()), static_cast<std::streamsize>(h.bytes.size()));
    for (const bool pipe : {true, false}) {
      setAllocationFailureAt(0);
      const int64_t growth = peakMemoryGrowth([&] {
        try {
          if (pipe) {
            readThroughPipe(h.bytes, h.read);
          } else {
            CFile file(path, CFile::modeRead);
            CArchive ar(&file, CArchive::load);
            h.read(ar);
          }
          ADD_FAILURE() << h.name << ": no exception";
        } catch (const CArchiveException& e) {
          EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << h.name << ": " << e.what();
        }
      });
      EXPECT_LE(largestCountedAllocation(), kReadAheadBytes) << h.name;
      EXPECT_TRUE(growth >= 0 && growth < (16 << 20)) << h.name << (pipe ? " (pipe): " : " (file): ") << growth;
      if (pipe) RecordProperty(std::string("peak_growth_bytes ") + h.name, std::to_string(growth));
    }
  }
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace megcxc::test
