// Redrawing the pictures of the host window at 306 sensors (the largest MEG
// arrays): the pair matrix is recomputed from the dataset (one value per
// pair at the selection box) and painted into an 800 x 700 picture, as one
// click in the manager or one step of the selection causes. The target is
// below 50 ms per redraw. Also the time-frequency image of one pair.
//
// Needs the GUI library; runs on the offscreen platform unless
// QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <random>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "host/views.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_cc_datazq.h"
#include "ui/pair_image_view.h"
#include "ui/pair_matrix_view.h"

namespace {

namespace host = megcxc::host;

constexpr int64_t kTime = 5, kFreq = 40;

// A dataset of n x n pairs with random real and power/phase planes.
std::unique_ptr<CSpctmTrlCCDatazq> makeDataset(int64_t n) {
  auto d = std::make_unique<CSpctmTrlCCDatazq>();
  d->checkInitSpctmCCData(n, n, kTime, kFreq, true, 0, 1, nullptr, nullptr);
  std::mt19937 engine(7);
  std::uniform_real_distribution<double> value(-1.0, 1.0);
  for (int64_t r = 0; r < n; ++r) {
    for (int64_t c = 0; c < n; ++c) {
      for (int dt : {0, 2}) {
        double* cells = megcxc::planeData(d->pairMatrix[r][c].plane[dt], kTime);
        for (int64_t k = 0; k < kTime * kFreq; ++k) cells[k] = dt == 2 ? value(engine) + 1.0 : value(engine);
      }
    }
  }
  d->timePt = kTime;
  d->freqPt = kFreq;
  d->selTimeBegin = d->selTimeEnd = 2;
  d->selFreqBegin = 10;
  d->selFreqEnd = 14;
  return d;
}

CSpctmTrlCCDatazq& dataset306() {
  static std::unique_ptr<CSpctmTrlCCDatazq> d = makeDataset(306);
  return *d;
}

// Arg 0: the value at the box's corner; 1: the mean over the box (5 cells).
void BM_MatrixRedraw306(benchmark::State& state) {
  CSpctmTrlCCDatazq& d = dataset306();
  const auto reduction = state.range(0) == 0 ? host::BoxReduction::corner : host::BoxReduction::mean;
  CPairMatrixView view;
  view.resize(800, 700);
  QImage target(800, 700, QImage::Format_RGB32);
  for (auto _ : state) {
    view.setValues(host::valuesAtSelection(d, 2, host::selectionBox(d), reduction, true), "redraw", "Power/Phase");
    view.setCurrentPair(17, 40);
    QPainter painter(&target);
    view.paintInto(painter, target.rect());
  }
  state.counters["pairs"] = static_cast<double>(d.rowSnsCount * d.colSnsCount);
}
BENCHMARK(BM_MatrixRedraw306)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The paint alone, values unchanged (a resize or an exposed window).
void BM_MatrixPaintOnly306(benchmark::State& state) {
  CSpctmTrlCCDatazq& d = dataset306();
  CPairMatrixView view;
  view.resize(800, 700);
  view.setValues(host::valuesAtSelection(d, 2, host::selectionBox(d), host::BoxReduction::corner, true), "paint",
                 "Power/Phase");
  QImage target(800, 700, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&target);
    view.paintInto(painter, target.rect());
  }
}
BENCHMARK(BM_MatrixPaintOnly306)->Unit(benchmark::kMillisecond);

void BM_PairImageRedraw(benchmark::State& state) {
  CSpctmTrlCCDatazq& d = dataset306();
  CPairImageView view;
  view.resize(600, 400);
  QImage target(600, 400, QImage::Format_RGB32);
  for (auto _ : state) {
    view.setImage(host::pairImage(d, 0, 17, 40), "redraw", "Real");
    view.setSelection(host::selectionBox(d));
    QPainter painter(&target);
    view.paintInto(painter, target.rect());
  }
}
BENCHMARK(BM_PairImageRedraw)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
