// Fuzz target of the channel-pair archive reader (versions 20130517 and
// 20090726), then the pair's cell operations on whatever the reader
// accepted: absent rows, NaN and infinite cells, raw planes of other extents.
#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  CSpctmChnChnDatazq pair;
  readAndRoundTrip(pair, data, size);
  const int64_t lastT = pair.timePt > 0 ? pair.timePt - 1 : 0, lastF = pair.freqPt > 0 ? pair.freqPt - 1 : 0;
  double mn = 0.0, mx = 0.0, a = 0.0, b = 0.0, c = 0.0;
  for (int d = 0; d < 3; ++d) {
    pair.getSpctmRange(&mn, &mx, 1, d);
    pair.getStatisticF(d, lastF, mn, a, mx, b, c);
    pair.getStatisticT(d, lastT, mn, a, mx, b, c);
    pair.getSelectSpctmValue(0, lastT, 0, lastF, d);
  }
  pair.computeMagnitude();
  pair.storeSpctmResult();
  pair.reloadRawSpctmDataRIX();
  roundTrip(pair, "pair after its cell operations");
  return 0;
}
