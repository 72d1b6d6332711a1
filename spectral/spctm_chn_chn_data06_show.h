// CSpctmChnChnData06Show: presence of all three planes and the five summary
// figures (minimum, mean, maximum, mean of absolute values, root mean square)
// of one frequency column over time or of one time row over frequency.
#pragma once

#include <cstdint>

#include "spectral/spctm_chn_chn_data03_process.h"

class CSpctmChnChnData06Show : public CSpctmChnChnData03Process {
 public:
  // 1 when the record is not empty and the real, imaginary and power/phase
  // planes are all present; else 0.
  int has3Data() const;
  // Statistics over time of column freqIndex of plane[dataType]. All outputs
  // are set to 0.0 first; 0 (outputs left 0.0) for an invalid dataType, an
  // absent plane or freqIndex outside 0 ... freqPt - 1. NaN cells never become
  // the minimum or maximum once a first value is set; they do enter the sums.
  int getStatisticF(int dataType, int64_t freqIndex, double& outMin, double& outMean, double& outMax,
                    double& outAbsMean, double& outRms) const;
  // The same over frequency of row timeIndex (0 when timeIndex is outside
  // 0 ... timePt - 1); the divisor is freqPt.
  int getStatisticT(int dataType, int64_t timeIndex, double& outMin, double& outMean, double& outMax,
                    double& outAbsMean, double& outRms) const;
};
