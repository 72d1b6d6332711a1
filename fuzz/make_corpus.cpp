// Writes the seed corpora of the fuzz targets: small records of every archive
// version, made by the library's own writers (the newest versions) and, for
// the older versions that no writer produces, by the same section writers
// and primitives laid out in the older order.
//
//   megcxc_fuzz_corpus <folder>     writes <folder>/<target>/<seed> files
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/message_box.h"
#include "spectral/spctm_chn_chn_data09_file.h"
#include "summary/sum_cc_spctm_data09_file.h"
#include "trial/spctm_trl_cc_data09_file.h"

namespace fs = std::filesystem;
using megcxc::fuzz::bytesOf;
using megcxc::fuzz::writeTo;

namespace {

fs::path g_root;

void save(const char* target, const char* name, const std::vector<uint8_t>& bytes) {
  fs::create_directories(g_root / target);
  std::ofstream(g_root / target / name, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Grants the older-version writers access to the pair's section writers.
class PairSeed : public CSpctmChnChnDatazq {
 public:
  // Version 20090726: the two sections without isSelected and userTag.
  void writeOld(CArchive& ar) {
    ar << CString(megcxc::kSpctmChnlMagic) << megcxc::kSpctmChnlVersion20090726;
    _01serializeSpctmData(ar);
    _02serializeSpctm2BkFile(ar);
  }
};

// Fills a pair of t x f cells with distinct values (real and, when asked,
// imaginary) through the host's entry point, which also takes the backup.
void fillPair(CSpctmChnChnDatazq& p, int64_t t, int64_t f, bool imag, double base) {
  std::vector<double> re(t * f), im(t * f);
  std::vector<const double*> reRows, imRows;
  for (int64_t k = 0; k < t * f; ++k) {
    re[k] = base + static_cast<double>(k / f) - 0.5 * static_cast<double>(k % f);
    im[k] = base * 0.25 - static_cast<double>(k);
  }
  for (int64_t i = 0; i < t; ++i) reRows.push_back(&re[i * f]), imRows.push_back(&im[i * f]);
  if (imag) p.addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), t, f);
  else p.addSpctmData2ChannelCWTr(reRows.data(), t, f);
}

void pairSeeds() {
  PairSeed empty;
  save("fuzz_pair", "empty_20130517", bytesOf(empty));

  PairSeed realOnly;
  fillPair(realOnly, 2, 3, false, 1.5);
  realOnly.chnA = 3, realOnly.chnB = 7, realOnly.userTag = 7;
  realOnly._cleanBkSpctmData();
  realOnly.rawTimePt = realOnly.rawFreqPt = 0;
  save("fuzz_pair", "real_2x3_20130517", bytesOf(realOnly));

  PairSeed full;
  fillPair(full, 2, 2, true, -2.0);
  full.computeMagnitude();
  full.isSelected = false;
  save("fuzz_pair", "complex_2x2_20130517", bytesOf(full));
  save("fuzz_pair", "complex_2x2_20090726", writeTo([&](CArchive& ar) { full.writeOld(ar); }));

  // A power/phase plane without an imaginary one and an absent row.
  PairSeed holes;
  fillPair(holes, 3, 2, false, 4.0);
  holes.computeMagnitude();
  holes.plane[0][1] = nullptr;
  save("fuzz_pair", "absent_row_3x2_20130517", bytesOf(holes));
}

void summarySeeds() {
  CSumCCSpctmDatazq empty;
  save("fuzz_summary", "empty_20130514", bytesOf(empty));

  CSumCCSpctmDatazq full;
  full.checkInit(2, 3);
  double v = -2.5;
  for (double** a : {full.cellMin, full.cellMean, full.cellMax, full.cellPosMean, full.cellNegMean, full.cellRms})
    for (int k = 0; k < 6; ++k) a[k / 3][k % 3] = (v += 0.75);
  full.isComputed = 1, full.pairCount = 4, full.minValue = -1.0, full.maxValue = 9.0;
  full.spareValue4 = 4.0, full.spareValue5 = 5.0, full.spareValue6 = 6.0;
  save("fuzz_summary", "full_2x3_20130514", bytesOf(full));

  CSumCCSpctmDatazq partial;
  partial.checkInit(1, 2);
  megcxc::releasePlane(partial.cellRms);
  partial.cellRms = nullptr;
  save("fuzz_summary", "no_rms_1x2_20130514", bytesOf(partial));

  // Version 20111222: one int32 and ten 8-byte values, R and C, three blocks
  // of row-flagged rows, then N and a flag and N (uint32, double) pairs.
  save("fuzz_summary", "old_2x2_20111222", writeTo([&](CArchive& ar) {
         ar << CString(megcxc::sumfile::kMagic) << megcxc::sumfile::kVersionOld << int32_t{1};
         for (int i = 0; i < 10; ++i) ar << static_cast<double>(i);
         ar << int64_t{2} << int64_t{2};
         ar << int32_t{1} << int32_t{1} << 1.0 << 2.0 << int32_t{0};
         ar << int32_t{0};
         ar << int32_t{1} << int32_t{0} << int32_t{1} << 3.0 << 4.0;
         ar << int64_t{2} << int32_t{1} << uint32_t{5} << 0.5 << uint32_t{6} << 0.25;
       }));
}

// A small dataset of rows x cols pairs of t x f cells with computed summaries
// and a frequency profile, built through a collection like a host does.
CSpctmTrlCCDatazq* makeDataset(CMEGSpctmCCDataFace09File& face, int cls, int64_t rows, int64_t cols, int64_t t,
                               int64_t f, bool imag) {
  CSpctmTrlCCDatazq* ds = face.checkInitSpctmCxCData4Class(cls, rows, cols, t, f, true, imag ? 1 : 0, 0, nullptr,
                                                           nullptr);
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) {
      CSpctmChnChnDatazq* p = ds->getSnsActCC(r, c);
      fillPair(*p, t, f, imag, static_cast<double>(r * cols + c) + 0.125 * cls);
      p->chnA = r, p->chnB = c;
    }
  }
  ds->setSpctmTimePtFreqPt(t, f, 2);
  ds->setTrialTimeDataRange4Spctm(100, 100 + 2 * t);
  ds->freqFirstHz = 4.0, ds->freqStepHz = 2.0, ds->freqLastHz = 4.0 + 2.0 * static_cast<double>(f);
  ds->auxValue1 = 0.5, ds->auxValue2 = -0.5, ds->cxcType = "Coherence", ds->delay = 12.5;
  ds->checkDataIntegraty();
  for (int d = 0; d < 3; ++d) face.cmpSumCCSpctmData(ds, cls, d);
  ds->getStatisticsF(0);
  return ds;
}

// A dataset in an older layout: the basic section up to listItemId, with the
// tail after it only in version 20130514 (never auxValue1 / auxValue2), a
// leading cxcType and two ints only in 20130513; the pair section without
// colSnsCount (square) before 20130514.
std::vector<uint8_t> oldTrial(CSpctmTrlCCDatazq& d, const char* magic, int32_t version) {
  using namespace megcxc::trlfile;
  const bool newer = version == kVersion20130514;
  return writeTo([&](CArchive& ar) {
    ar << CString(magic) << version;
    if (version == kVersion20130513) ar << d.cxcType << int32_t{3} << int32_t{4};
    ar << int32_t{d.auxInt1} << int32_t{d.cmptType} << int32_t{d.storeType} << int32_t{d.auxInt2} << d.timePt
       << d.freqPt << d.timeDataLength << d.timeDataBegin << d.timeDataEnd << d.timePtOffset << d.auxLong1
       << d.timeStep << d.freqFirstHz << d.freqLastHz << int32_t{d.freqAxisLog} << d.freqStepHz << d.freqRatio
       << d.auxFactor1 << d.auxFactor2 << d.auxLong2 << int32_t{d.auxInt3} << int32_t{d.resultType}
       << int32_t{d.auxInt4} << d.selTimeBegin << d.selTimeEnd << d.selFreqBegin << d.selFreqEnd << d.auxLong3
       << int32_t{d.auxInt5} << int32_t{d.auxInt6} << int32_t{d.auxInt7} << d.auxLong4 << int32_t{d.auxInt8}
       << int32_t{d.auxInt9} << d.trialName << d.iconFlag << int32_t{d.listItemId};
    if (newer) {
      ar << d.cxcType << int32_t{d.auxInt10} << int32_t{d.auxInt11} << d.delay << int32_t{d.auxInt12};
      d.freqProfile.serialize(ar);
    }
    ar << int32_t{d.hasRealPlane} << int32_t{d.hasImagPlane} << int32_t{d.hasPowerPhasePlane};
    for (auto& s : d.summaryByDataType) s.serializeSumCCD(ar);
    ar << d.rowSnsCount;
    if (newer) ar << d.colSnsCount;
    ar << d.curActSns << d.curCxcSns << int32_t{1};
    for (int64_t r = 0; r < d.rowSnsCount; ++r) {
      ar << int32_t{d.pairMatrix[r] != nullptr};
      for (int64_t c = 0; d.pairMatrix[r] != nullptr && c < (newer ? d.colSnsCount : d.rowSnsCount); ++c)
        d.pairMatrix[r][c].serializeSpctmCzq(ar);
    }
  });
}

void trialSeeds() {
  using namespace megcxc::trlfile;
  CSpctmTrlCCDatazq fresh;
  save("fuzz_trial", "fresh_20130524", bytesOf(fresh));

  CMEGSpctmCCDataFace09File face;
  CSpctmTrlCCDatazq* square = makeDataset(face, 0, 2, 2, 2, 3, true);
  save("fuzz_trial", "square_2x2_20130524", bytesOf(*square));
  save("fuzz_trial", "square_2x2_20130514", oldTrial(*square, kMagic, kVersion20130514));
  save("fuzz_trial", "square_2x2_20130513", oldTrial(*square, kMagic, kVersion20130513));
  save("fuzz_trial", "square_2x2_20090726_oldmagic", oldTrial(*square, kMagicOld, kVersion20090726));

  // Two rows of three real-only pairs, the second row slot empty.
  CSpctmTrlCCDatazq* wide = makeDataset(face, 1, 2, 3, 1, 2, false);
  delete[] wide->pairMatrix[1];
  wide->pairMatrix[1] = nullptr;
  save("fuzz_trial", "empty_row_2x3_20130524", bytesOf(*wide));
}

void collectionSeeds() {
  CMEGSpctmCCDataFace09File empty;
  save("fuzz_collection", "empty", bytesOf(empty));

  CMEGSpctmCCDataFace09File face;
  makeDataset(face, 0, 2, 2, 2, 2, true);
  makeDataset(face, 1, 2, 2, 1, 2, true);
  face.collectionName = "Seed";
  save("fuzz_collection", "active_control", bytesOf(face));
  face.actCtlOperation = 3;
  face.doAct_Ctl_operation();
  face.currentClass = 2;
  save("fuzz_collection", "three_classes", bytesOf(face));

  CMEGSpctmCCDataFace09File control;
  makeDataset(control, 1, 1, 2, 2, 1, false);
  save("fuzz_collection", "control_oldmagic", writeTo([&](CArchive& ar) {
         ar << CString(megcxc::facefile::kMagicOld) << megcxc::facefile::kVersion << int32_t{0} << int32_t{1}
            << CString("Old") << int32_t{0} << int32_t{7};
         control.trialByClass[1]->serializeTrlSpctmZq(ar);
         ar << int32_t{0};
       }));
}

void stringSeeds() {
  save("fuzz_cstring", "magics", writeTo([&](CArchive& ar) {
         ar << CString("SPCTMCHNLZQ") << CString("SUMCCSPCTMDATA") << CString("") << CString(u"\xD800x\u00E9");
       }));
  save("fuzz_cstring", "long_300", writeTo([&](CArchive& ar) { ar << CString(std::string(300, 'q')); }));
  // The untagged single-byte form and non-minimal length prefixes.
  save("fuzz_cstring", "untagged_and_wide_prefixes",
       {3, 'a', 0x80, 0xFF, 0xFF, 0x02, 0x00, 'h', 'i', 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 'z',
        0xFF, 0xFE, 0xFF, 0xFF, 0x01, 0x00, 0x41, 0x00, 0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0xFF, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x42, 0x00});
}

void archiveSeeds() {
  // Byte 0: buffer size (64 + 4 * b); byte 1: count of operation bytes;
  // then the operations (op % 11, argument op / 11 * 3), then the stream.
  std::vector<uint8_t> all = {0, 11, 0, 1, 2, 3, 4, 5, 6, 7 + 11 * 2, 8 + 11 * 3, 9 + 11 * 4, 10};
  for (int i = 0; i < 96; ++i) all.push_back(static_cast<uint8_t>(i * 37 + 11));
  save("fuzz_carchive", "every_op", all);
  std::vector<uint8_t> refill = {1, 8, 7 + 11 * 20, 3, 8 + 11 * 21, 0, 2, 9 + 11 * 15, 7 + 11 * 20, 3};
  for (int i = 0; i < 200; ++i) refill.push_back(static_cast<uint8_t>(255 - i));
  save("fuzz_carchive", "refills", refill);
  save("fuzz_carchive", "short_stream", {0, 4, 2, 2, 2, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  setMessageBoxHandler([](const CString& text, unsigned) {
    std::fprintf(stderr, "unexpected message while making seeds: %s\n", text.toUtf8().c_str());
    std::abort();
    return IDOK;
  });
  g_root = argv[1];
  pairSeeds();
  summarySeeds();
  trialSeeds();
  collectionSeeds();
  stringSeeds();
  archiveSeeds();
  return 0;
}
