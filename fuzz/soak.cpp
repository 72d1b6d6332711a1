// Soak driver: one collection of sensors x sensors channel pairs through the
// whole pipeline, then saved and loaded again and again.
//
//   megcxc_soak <sensors> <timePt> <freqPt> <cycles> <folder>
//
// Pipeline: the active and the control dataset are initialised (with progress
// notices) and filled pair by pair through the host's entry point; the
// magnitude is derived in every dataset; the active-control operation (A-C)
// collapses the control over time and builds the third dataset; the active
// dataset is normalised to unit RMS; every class summary is computed and one
// statistics report is built. The collection is then saved to
// <folder>/soak-0.cxc with the atomic file writer. Each cycle loads the last
// file into a fresh collection, saves it to the next file and requires the
// two files to be byte-identical. Prints one line per step with its time and
// exits 0 when everything held, 1 otherwise.
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "platform/cdialog.h"
#include "platform/message_box.h"

namespace {

int g_unexpectedMessages = 0;

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool fillClass(CMEGSpctmCCDataFace09File& face, int cls, int64_t n, int64_t tPt, int64_t fPt) {
  CDialog dlg;
  CString text;
  CSpctmTrlCCDatazq* ds = face.checkInitSpctmCxCData4Class(cls, n, n, tPt, fPt, true, 1, 0, &dlg, &text);
  if (ds == nullptr) return false;
  if (static_cast<int64_t>(dlg.posted().size()) != n) {
    std::printf("class %d: %zu progress notices for %" PRId64 " rows\n", cls, dlg.posted().size(), n);
    return false;
  }
  // Deterministic values in [-10, 10) plus the class.
  std::mt19937_64 rng(static_cast<uint64_t>(cls) + 1);
  std::uniform_real_distribution<double> value(-10.0, 10.0);
  std::vector<double> re(static_cast<std::size_t>(tPt * fPt)), im(re.size());
  std::vector<const double*> reRows, imRows;
  for (int64_t t = 0; t < tPt; ++t) reRows.push_back(&re[t * fPt]), imRows.push_back(&im[t * fPt]);
  for (int64_t r = 0; r < n; ++r) {
    for (int64_t c = 0; c < n; ++c) {
      for (std::size_t k = 0; k < re.size(); ++k) re[k] = value(rng) + cls, im[k] = value(rng) + cls;
      CSpctmChnChnDatazq* pair = ds->getSnsActCC(r, c);
      if (pair->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), tPt, fPt) != 1) return false;
      pair->chnA = r, pair->chnB = c, pair->userTag = static_cast<int>(r * n + c);
    }
  }
  ds->setSpctmTimePtFreqPt(tPt, fPt, 4);
  ds->setTrialTimeDataRange4Spctm(1000, 1000 + 4 * tPt);
  ds->freqFirstHz = 2.0, ds->freqStepHz = 1.5, ds->cxcType = "Coherence";
  ds->trialName = cls == 0 ? "Soak active" : "Soak control";
  return ds->checkDataIntegraty() == 1;
}

// True when both files exist and hold the same bytes.
bool sameFiles(const std::string& a, const std::string& b) {
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  return fa && fb && std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb), {});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    std::fprintf(stderr, "usage: %s <sensors> <timePt> <freqPt> <cycles> <folder>\n", argv[0]);
    return 2;
  }
  const int64_t n = std::atoll(argv[1]), tPt = std::atoll(argv[2]), fPt = std::atoll(argv[3]);
  const int cycles = std::atoi(argv[4]);
  const std::string folder = argv[5];
  if (n < 1 || tPt < 2 || fPt < 1 || cycles < 1) {
    std::fprintf(stderr, "need sensors >= 1, timePt >= 2, freqPt >= 1, cycles >= 1\n");
    return 2;
  }
  // The only question of the pipeline (collapse the control?) is answered
  // Yes; any other message is a failure.
  setMessageBoxHandler([](const CString& text, unsigned type) {
    if ((type & 0x0F) == MB_YESNO) return IDYES;
    std::printf("message: %s\n", text.toUtf8().c_str());
    ++g_unexpectedMessages;
    return IDOK;
  });

  auto start = std::chrono::steady_clock::now();
  auto* face = new CMEGSpctmCCDataFace09File;
  if (!fillClass(*face, 0, n, tPt, fPt) || !fillClass(*face, 1, n, tPt, fPt)) {
    std::printf("FAIL: building the datasets\n");
    return 1;
  }
  std::printf("built %" PRId64 " x %" PRId64 " pairs of %" PRId64 " x %" PRId64 " cells per class in %.2f s\n", n, n,
              tPt, fPt, secondsSince(start));

  start = std::chrono::steady_clock::now();
  bool ok = face->computeMagnitude(0) == 1;
  face->actCtlOperation = 0;
  ok = ok && face->doAct_Ctl_operation() == 1;
  ok = ok && face->trialByClass[1]->timePt == 1 && face->trialByClass[2] != nullptr;
  ok = ok && face->normSpctmCCData_rootMeanSquare(0) == 1;
  ok = ok && face->cmpSumCCSpctmAllClassType4ActSns() == 9;
  ok = ok && face->cmpSumCCSpctmAllClassType() == 9;
  ok = ok && !face->trialByClass[0]->getStatisticsF(2).IsEmpty();
  if (!ok) {
    std::printf("FAIL: processing\n");
    return 1;
  }
  std::printf("processed (magnitude, A-C, RMS normalisation, 18 summaries, report) in %.2f s\n", secondsSince(start));

  auto fileName = [&](int i) { return folder + "/soak-" + std::to_string(i % 2) + ".cxc"; };
  start = std::chrono::steady_clock::now();
  if (face->saveToFile(fileName(0)) != 1) {
    std::printf("FAIL: first save\n");
    return 1;
  }
  std::printf("saved the collection in %.2f s\n", secondsSince(start));

  for (int i = 1; i <= cycles; ++i) {
    start = std::chrono::steady_clock::now();
    CMEGSpctmCCDataFace09File loaded;
    const bool read = loaded.loadFromFile(fileName(i - 1)) == 1;
    const double loadTime = secondsSince(start);
    if (i == 1) delete face;  // from then on, one collection at a time
    start = std::chrono::steady_clock::now();
    const bool written = read && loaded.saveToFile(fileName(i)) == 1;
    const double saveTime = secondsSince(start);
    if (!written || !sameFiles(fileName(i - 1), fileName(i))) {
      std::printf("FAIL: cycle %d: the load or the save failed, or the saved file differs\n", i);
      return 1;
    }
    std::printf("cycle %d: loaded in %.2f s, saved in %.2f s, %ju bytes identical\n", i, loadTime, saveTime,
                static_cast<uintmax_t>(std::filesystem::file_size(fileName(i))));
  }
  if (g_unexpectedMessages != 0) {
    std::printf("FAIL: %d unexpected message(s)\n", g_unexpectedMessages);
    return 1;
  }
  std::printf("OK: %d save/load cycles byte-identical\n", cycles);
  return 0;
}
