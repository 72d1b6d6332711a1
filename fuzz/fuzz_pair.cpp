// Fuzz target of the channel-pair archive reader (both versions).
//
// After any input the record must be consistent, writable, and its written
// form must read back into the same bytes.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "spectral/spctm_chn_chn_datazq.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  CSpctmChnChnDatazq pair;
  readFrom(data, size, [&](CArchive& ar) { return pair.serializeSpctmCzq(ar); });
  checkPair(pair, "fuzzed pair");

  RoundTrip<CSpctmChnChnDatazq> rt;
  rt.store = [](CSpctmChnChnDatazq& p, CArchive& ar) { p.serializeSpctmCzq(ar); };
  rt.load = [](CSpctmChnChnDatazq& p, CArchive& ar) { return p.serializeSpctmCzq(ar); };
  rt.check = [](const CSpctmChnChnDatazq& p, const char* where) { checkPair(p, where); };
  roundTrip(pair, rt);

  // The cell operations must cope with whatever the reader accepted: absent
  // rows, NaN and infinite cells, raw planes of other extents.
  const int64_t lastT = pair.timePt > 0 ? pair.timePt - 1 : 0;
  const int64_t lastF = pair.freqPt > 0 ? pair.freqPt - 1 : 0;
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
  checkPair(pair, "pair after its cell operations");
  roundTrip(pair, rt);
  return 0;
}
