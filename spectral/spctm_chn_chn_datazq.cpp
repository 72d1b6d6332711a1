#include "spectral/spctm_chn_chn_datazq.h"

#include <cstddef>

int CSpctmChnChnDatazq::setParameters(const CSpctmChnChnDatazq* source) {
  if (!source) return 0;
  if (source->timePt != timePt || source->freqPt != freqPt) _cleanSpctmData();
  timePt = source->timePt;
  freqPt = source->freqPt;
  return 1;
}

int CSpctmChnChnDatazq::addSpctmChnlzq(const CSpctmChnChnDatazq* source, bool create) {
  if (!source || source->timePt < 1 || source->freqPt < 1) return 0;
  for (int d = 0; d < 3; ++d) {
    if (!source->plane[d]) continue;
    if (!plane[d]) {
      if (!create) return 0;
      const bool otherExtents = timePt != source->timePt || freqPt != source->freqPt;
      if (otherExtents && hasWorkingPlane()) return 0;
      plane[d] = newBufferF2d(source->timePt, source->freqPt, true);
      if (!plane[d]) return 0;
      timePt = source->timePt;
      freqPt = source->freqPt;
    }
    if (timePt != source->timePt || freqPt != source->freqPt) return 0;
    const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
    double* dst = megcxc::planeData(plane[d], timePt);
    const double* src = megcxc::planeData(source->plane[d], source->timePt);
    for (std::size_t i = 0; i < n; ++i) dst[i] += src[i];
  }
  return 1;
}
