#include "spectral/spctm_chn_chn_data06_show.h"

#include <cmath>

namespace {
// The five figures of `count` values `first[0]`, `first[stride]`, ... in order.
void summarise(const double* first, int64_t count, int64_t stride, double& outMin, double& outMean, double& outMax,
               double& outAbsMean, double& outRms) {
  double lo = first[0];
  double hi = first[0];
  double sum = 0.0;
  double absSum = 0.0;
  double sqSum = 0.0;
  for (int64_t i = 0; i < count; ++i) {
    const double x = first[i * stride];
    if (x < lo) lo = x;
    if (x > hi) hi = x;
    sum += x;
    absSum += std::fabs(x);
    sqSum += x * x;
  }
  const double n = static_cast<double>(count);
  outMin = lo;
  outMax = hi;
  outMean = sum / n;
  outAbsMean = absSum / n;
  outRms = std::sqrt(sqSum / n);
}
}  // namespace

int CSpctmChnChnData06Show::has3Data() const {
  return timePt >= 1 && freqPt >= 1 && plane[0] && plane[1] && plane[2] ? 1 : 0;
}

int CSpctmChnChnData06Show::getStatisticF(int dataType, int64_t freqIndex, double& outMin, double& outMean,
                                          double& outMax, double& outAbsMean, double& outRms) const {
  outMin = outMean = outMax = outAbsMean = outRms = 0.0;
  double** p = planeOf(dataType);
  if (!p || freqIndex < 0 || freqIndex >= freqPt) return 0;
  if (timePt < 1) return 1;
  const double* cells = megcxc::planeData(p, timePt);
  summarise(cells + freqIndex, timePt, freqPt, outMin, outMean, outMax, outAbsMean, outRms);
  return 1;
}

int CSpctmChnChnData06Show::getStatisticT(int dataType, int64_t timeIndex, double& outMin, double& outMean,
                                          double& outMax, double& outAbsMean, double& outRms) const {
  outMin = outMean = outMax = outAbsMean = outRms = 0.0;
  double** p = planeOf(dataType);
  if (!p || timeIndex < 0 || timeIndex >= timePt) return 0;
  if (freqPt < 1) return 1;
  const double* cells = megcxc::planeData(p, timePt);
  summarise(cells + timeIndex * freqPt, freqPt, 1, outMin, outMean, outMax, outAbsMean, outRms);
  return 1;
}
