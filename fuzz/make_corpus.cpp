// Writes the seed corpora of the fuzz targets: small records of every archive
// version, made by the library's own writers (the newest versions) and, for
// the older versions that no writer produces, by the same section writers
// and primitives laid out in the older order.
//
//   megcxc_fuzz_corpus <folder>     writes <folder>/<target>/<seed> files
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "platform/carchive.h"
#include "platform/cfile.h"
#include "platform/message_box.h"
#include "spectral/spctm_chn_chn_data09_file.h"
#include "summary/sum_cc_spctm_data09_file.h"
#include "trial/spctm_trl_cc_data09_file.h"

namespace fs = std::filesystem;

namespace {

fs::path g_root;

void save(const char* target, const char* name, const std::vector<uint8_t>& bytes) {
  const fs::path dir = g_root / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

template <class F>
std::vector<uint8_t> bytesOf(F write) {
  CMemFile file;
  {
    CArchive ar(&file, CArchive::store);
    write(ar);
    ar.Close();
  }
  return file.bytes();
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
  std::vector<std::vector<double>> re(t, std::vector<double>(f)), im(t, std::vector<double>(f));
  std::vector<const double*> reRows, imRows;
  for (int64_t i = 0; i < t; ++i) {
    for (int64_t j = 0; j < f; ++j) {
      re[i][j] = base + static_cast<double>(i) - 0.5 * static_cast<double>(j);
      im[i][j] = base * 0.25 - static_cast<double>(i * f + j);
    }
    reRows.push_back(re[i].data());
    imRows.push_back(im[i].data());
  }
  if (imag) p.addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), t, f);
  else p.addSpctmData2ChannelCWTr(reRows.data(), t, f);
}

void pairSeeds() {
  PairSeed empty;
  save("fuzz_pair", "empty_20130517", bytesOf([&](CArchive& ar) { empty.serializeSpctmCzq(ar); }));

  PairSeed realOnly;
  fillPair(realOnly, 2, 3, false, 1.5);
  realOnly.chnA = 3;
  realOnly.chnB = 7;
  realOnly.userTag = 7;
  realOnly._cleanBkSpctmData();
  realOnly.rawTimePt = realOnly.rawFreqPt = 0;
  save("fuzz_pair", "real_2x3_20130517", bytesOf([&](CArchive& ar) { realOnly.serializeSpctmCzq(ar); }));

  PairSeed full;
  fillPair(full, 2, 2, true, -2.0);
  full.computeMagnitude();
  full.isSelected = false;
  save("fuzz_pair", "complex_2x2_20130517", bytesOf([&](CArchive& ar) { full.serializeSpctmCzq(ar); }));
  save("fuzz_pair", "complex_2x2_20090726", bytesOf([&](CArchive& ar) { full.writeOld(ar); }));

  // A power/phase plane without an imaginary one and an absent row.
  PairSeed holes;
  fillPair(holes, 3, 2, false, 4.0);
  holes.computeMagnitude();
  holes.plane[0][1] = nullptr;
  save("fuzz_pair", "absent_row_3x2_20130517", bytesOf([&](CArchive& ar) { holes.serializeSpctmCzq(ar); }));
}

void summarySeeds() {
  CSumCCSpctmDatazq empty;
  save("fuzz_summary", "empty_20130514", bytesOf([&](CArchive& ar) { empty.serializeSumCCD(ar); }));

  CSumCCSpctmDatazq full;
  full.checkInit(2, 3);
  double v = -2.5;
  for (double** a : {full.cellMin, full.cellMean, full.cellMax, full.cellPosMean, full.cellNegMean, full.cellRms}) {
    for (int t = 0; t < 2; ++t) {
      for (int f = 0; f < 3; ++f) a[t][f] = (v += 0.75);
    }
  }
  full.isComputed = 1;
  full.pairCount = 4;
  full.minValue = -1.0;
  full.maxValue = 9.0;
  full.spareValue4 = 4.0;
  full.spareValue5 = 5.0;
  full.spareValue6 = 6.0;
  save("fuzz_summary", "full_2x3_20130514", bytesOf([&](CArchive& ar) { full.serializeSumCCD(ar); }));

  CSumCCSpctmDatazq partial;
  partial.checkInit(1, 2);
  megcxc::releasePlane(partial.cellRms);
  partial.cellRms = nullptr;
  save("fuzz_summary", "no_rms_1x2_20130514", bytesOf([&](CArchive& ar) { partial.serializeSumCCD(ar); }));

  // Version 20111222: one int32 and ten 8-byte values, R and C, three blocks
  // of row-flagged rows, then N and a flag and N (uint32, double) pairs.
  save("fuzz_summary", "old_2x2_20111222", bytesOf([&](CArchive& ar) {
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
      p->chnA = r;
      p->chnB = c;
    }
  }
  ds->setSpctmTimePtFreqPt(t, f, 2);
  ds->setTrialTimeDataRange4Spctm(100, 100 + 2 * t);
  ds->freqFirstHz = 4.0;
  ds->freqStepHz = 2.0;
  ds->freqLastHz = 4.0 + 2.0 * static_cast<double>(f);
  ds->auxValue1 = 0.5;
  ds->auxValue2 = -0.5;
  ds->cxcType = "Coherence";
  ds->delay = 12.5;
  ds->checkDataIntegraty();
  for (int d = 0; d < 3; ++d) face.cmpSumCCSpctmData(ds, cls, d);
  ds->getStatisticsF(0);
  return ds;
}

// The basic section in the older forms: up to listItemId (old form) or with
// the tail (intermediate form), never with auxValue1 / auxValue2.
void writeOldBasic(CArchive& ar, CSpctmTrlCCDatazq& d, bool withTail) {
  ar << int32_t{d.auxInt1} << int32_t{d.cmptType} << int32_t{d.storeType} << int32_t{d.auxInt2} << d.timePt
     << d.freqPt << d.timeDataLength << d.timeDataBegin << d.timeDataEnd << d.timePtOffset << d.auxLong1
     << d.timeStep << d.freqFirstHz << d.freqLastHz << int32_t{d.freqAxisLog} << d.freqStepHz << d.freqRatio
     << d.auxFactor1 << d.auxFactor2 << d.auxLong2 << int32_t{d.auxInt3} << int32_t{d.resultType}
     << int32_t{d.auxInt4} << d.selTimeBegin << d.selTimeEnd << d.selFreqBegin << d.selFreqEnd << d.auxLong3
     << int32_t{d.auxInt5} << int32_t{d.auxInt6} << int32_t{d.auxInt7} << d.auxLong4 << int32_t{d.auxInt8}
     << int32_t{d.auxInt9} << d.trialName << d.iconFlag << int32_t{d.listItemId};
  if (!withTail) return;
  ar << d.cxcType << int32_t{d.auxInt10} << int32_t{d.auxInt11} << d.delay << int32_t{d.auxInt12};
  d.freqProfile.serialize(ar);
}

void writeSummarySection(CArchive& ar, CSpctmTrlCCDatazq& d) {
  ar << int32_t{d.hasRealPlane} << int32_t{d.hasImagPlane} << int32_t{d.hasPowerPhasePlane};
  for (auto& s : d.summaryByDataType) s.serializeSumCCD(ar);
}

// The pair section: the newest form, or the old square one (no colSnsCount).
void writePairSection(CArchive& ar, CSpctmTrlCCDatazq& d, bool square) {
  ar << d.rowSnsCount;
  if (!square) ar << d.colSnsCount;
  ar << d.curActSns << d.curCxcSns << int32_t{1};
  for (int64_t r = 0; r < d.rowSnsCount; ++r) {
    if (d.pairMatrix[r] == nullptr) {
      ar << int32_t{0};
      continue;
    }
    ar << int32_t{1};
    for (int64_t c = 0; c < (square ? d.rowSnsCount : d.colSnsCount); ++c) d.pairMatrix[r][c].serializeSpctmCzq(ar);
  }
}

void trialSeeds() {
  using namespace megcxc::trlfile;
  CSpctmTrlCCDatazq fresh;
  save("fuzz_trial", "fresh_20130524", bytesOf([&](CArchive& ar) { fresh.serializeTrlSpctmZq(ar); }));

  CMEGSpctmCCDataFace09File face;
  CSpctmTrlCCDatazq* square = makeDataset(face, 0, 2, 2, 2, 3, true);
  save("fuzz_trial", "square_2x2_20130524", bytesOf([&](CArchive& ar) { square->serializeTrlSpctmZq(ar); }));
  save("fuzz_trial", "square_2x2_20130514", bytesOf([&](CArchive& ar) {
         ar << CString(kMagic) << kVersion20130514;
         writeOldBasic(ar, *square, true);
         writeSummarySection(ar, *square);
         writePairSection(ar, *square, false);
       }));
  save("fuzz_trial", "square_2x2_20130513", bytesOf([&](CArchive& ar) {
         ar << CString(kMagic) << kVersion20130513 << square->cxcType << int32_t{3} << int32_t{4};
         writeOldBasic(ar, *square, false);
         writeSummarySection(ar, *square);
         writePairSection(ar, *square, true);
       }));
  save("fuzz_trial", "square_2x2_20090726_oldmagic", bytesOf([&](CArchive& ar) {
         ar << CString(kMagicOld) << kVersion20090726;
         writeOldBasic(ar, *square, false);
         writeSummarySection(ar, *square);
         writePairSection(ar, *square, true);
       }));

  // Two rows of three real-only pairs, the second row slot empty.
  CSpctmTrlCCDatazq* wide = makeDataset(face, 1, 2, 3, 1, 2, false);
  delete[] wide->pairMatrix[1];
  wide->pairMatrix[1] = nullptr;
  save("fuzz_trial", "empty_row_2x3_20130524", bytesOf([&](CArchive& ar) { wide->serializeTrlSpctmZq(ar); }));
}

void collectionSeeds() {
  CMEGSpctmCCDataFace09File empty;
  save("fuzz_collection", "empty", bytesOf([&](CArchive& ar) { empty.serializeSpctmFace(ar); }));

  CMEGSpctmCCDataFace09File face;
  makeDataset(face, 0, 2, 2, 2, 2, true);
  makeDataset(face, 1, 2, 2, 1, 2, true);
  face.collectionName = "Seed";
  save("fuzz_collection", "active_control", bytesOf([&](CArchive& ar) { face.serializeSpctmFace(ar); }));
  face.actCtlOperation = 3;
  face.doAct_Ctl_operation();
  face.currentClass = 2;
  save("fuzz_collection", "three_classes", bytesOf([&](CArchive& ar) { face.serializeSpctmFace(ar); }));

  CMEGSpctmCCDataFace09File control;
  makeDataset(control, 1, 1, 2, 2, 1, false);
  const std::vector<uint8_t> bytes = bytesOf([&](CArchive& ar) {
    ar << CString(megcxc::facefile::kMagicOld) << megcxc::facefile::kVersion << int32_t{0} << int32_t{1}
       << CString("Old") << int32_t{0} << int32_t{7};
    control.trialByClass[1]->serializeTrlSpctmZq(ar);
    ar << int32_t{0};
  });
  save("fuzz_collection", "control_oldmagic", bytes);
}

void stringSeeds() {
  save("fuzz_cstring", "magics", bytesOf([&](CArchive& ar) {
         ar << CString("SPCTMCHNLZQ") << CString("SUMCCSPCTMDATA") << CString("") << CString(u"\xD800x\u00E9");
       }));
  save("fuzz_cstring", "long_300", bytesOf([&](CArchive& ar) { ar << CString(std::string(300, 'q')); }));
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
