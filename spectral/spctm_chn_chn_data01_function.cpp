#include "spectral/spctm_chn_chn_data01_function.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "platform/alloc_hook.h"
#include "platform/vector_math.h"

namespace {
// Frequencies processed together by the per-frequency passes: the running
// sums of one block live on the stack and each row contributes one contiguous
// run of cells, so the plane streams through memory in row order.
constexpr int64_t kColumnBlock = 256;
}  // namespace

bool CSpctmChnChnData01Function::preparePowerPhasePlane() {
  if (!plane[2]) {
    // Every cell is written by the caller right away, so no zero-fill pass.
    plane[2] = newBufferF2d(timePt, freqPt, false);
    return plane[2] != nullptr;
  }
  megcxc::restorePlaneRows(plane[2], timePt, freqPt);
  return true;
}

bool CSpctmChnChnData01Function::preparePowerPhase() {
  if (!plane[0] || timePt < 1 || freqPt < 1) return false;
  return preparePowerPhasePlane();
}

bool CSpctmChnChnData01Function::powerPhaseReady() const {
  return plane[0] && plane[2] && timePt >= 1 && freqPt >= 1;
}

MEGCXC_CELL_LOOPS_ALL_WIDTHS int CSpctmChnChnData01Function::magnitudeCells() {
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  const double* re = megcxc::planeData(plane[0], timePt);
  double* out = megcxc::planeData(plane[2], timePt);
  // Squares first, then the square roots in place: both loops run two cells
  // at a time, with the same rounding as one sqrt(re*re + im*im) per cell.
  if (!plane[1]) {
    for (std::size_t i = 0; i < n; ++i) out[i] = re[i] * re[i];
    megcxc::sqrtInPlace(out, n);
    return 1;
  }
  const double* im = megcxc::planeData(plane[1], timePt);
  for (std::size_t i = 0; i < n; ++i) out[i] = re[i] * re[i] + im[i] * im[i];
  megcxc::sqrtInPlace(out, n);
  return 2;
}

int CSpctmChnChnData01Function::polarityMagnitudeCells(int mode) {
  magnitudeCells();
  if (mode != 1 && mode != 2) return 1;
  if (mode == 2 && !plane[1]) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  const double* sign = megcxc::planeData(plane[mode == 1 ? 0 : 1], timePt);
  double* out = megcxc::planeData(plane[2], timePt);
  for (std::size_t i = 0; i < n; ++i) out[i] *= sign[i] / std::fabs(sign[i]);
  return 1;
}

int CSpctmChnChnData01Function::phaseCells() {
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  const double* re = megcxc::planeData(plane[0], timePt);
  double* out = megcxc::planeData(plane[2], timePt);
  if (!plane[1]) {
    for (std::size_t i = 0; i < n; ++i) out[i] = std::atan(re[i]);
    return 1;
  }
  const double* im = megcxc::planeData(plane[1], timePt);
  megcxc::atan2Cells(im, re, out, n);
  return 2;
}

int CSpctmChnChnData01Function::computeMagnitude() { return preparePowerPhase() ? magnitudeCells() : 0; }

int CSpctmChnChnData01Function::computePhase() { return preparePowerPhase() ? phaseCells() : 0; }

int CSpctmChnChnData01Function::setPolarity2Magnitude(int mode) {
  return preparePowerPhase() ? polarityMagnitudeCells(mode) : 0;
}

MEGCXC_CELL_LOOPS_ALL_WIDTHS int CSpctmChnChnData01Function::scaleSpctm(double factor, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  for (std::size_t i = 0; i < n; ++i) cells[i] *= factor;
  return 1;
}

double* CSpctmChnChnData01Function::stdOverTime(int dataType, int64_t& count) const {
  if (count == -1) count = freqPt;
  const double* cells = workingCells(dataType);
  if (!cells) return nullptr;
  if (count < 1) count = 1;
  if (count > freqPt) count = freqPt;
  double* out = megcxc::xnewArray<double>(count);
  if (!out) return nullptr;
  const double n = static_cast<double>(timePt);
  double mean[kColumnBlock];
  double dev[kColumnBlock];
  for (int64_t f0 = 0; f0 < freqPt; f0 += kColumnBlock) {
    const int64_t w = std::min(kColumnBlock, freqPt - f0);
    std::fill(mean, mean + w, 0.0);
    std::fill(dev, dev + w, 0.0);
    for (int64_t t = 0; t < timePt; ++t) {
      const double* row = cells + t * freqPt + f0;
      for (int64_t j = 0; j < w; ++j) mean[j] += row[j];
    }
    for (int64_t j = 0; j < w; ++j) mean[j] /= n;
    for (int64_t t = 0; t < timePt; ++t) {
      const double* row = cells + t * freqPt + f0;
      for (int64_t j = 0; j < w; ++j) {
        const double d = row[j] - mean[j];
        dev[j] += d * d;
      }
    }
    for (int64_t j = 0; j < w; ++j) out[(f0 + j) % count] = std::sqrt(dev[j] / n);
  }
  return out;
}

double* CSpctmChnChnData01Function::getStdR_T1Fn(int64_t& count) const { return stdOverTime(0, count); }
double* CSpctmChnChnData01Function::getStdI_T1Fn(int64_t& count) const { return stdOverTime(1, count); }
double* CSpctmChnChnData01Function::getStdX_T1Fn(int64_t& count) const { return stdOverTime(2, count); }
