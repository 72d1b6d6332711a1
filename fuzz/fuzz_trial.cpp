// Fuzz target of the trial archive reader (versions 20090726, 20130513,
// 20130514 and 20130524, both magics), then every operation that walks the
// pairs, on what the reader accepted: pairs of other extents than the
// dataset's, absent rows and planes, absurd selections.
#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  CSpctmTrlCCDatazq ds;
  readAndRoundTrip(ds, data, size);
  double mn = 0.0, mx = 0.0;
  for (int d = 0; d < 3; ++d) {
    ds.getSpctmRange4AllChnl(&mn, &mx, 1, d);
    ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, d);
    ds.getSpctmRange4ChnlArray(&mn, &mx, 1, d, -1);
    ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, d, -1, -1);
    for (int show = 1; show <= 3; ++show) ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, d, 0, 0, show);
    ds.getValueSelectTimFrq(-1, -1, d);
  }
  ds.nextSelectTF(1, 1);
  ds.animateCCDSpctmPx();
  const bool modest = modestExtents(ds);
  if (modest) {
    ds.getStatisticsF(0);
    ds.getStatisticsFx(1);
    ds.getStatisticsTx(2);
  }
  // Summaries through a collection that holds the dataset for the call.
  CMEGSpctmCCDataFace09File face;
  for (int d = 0; d < 3; ++d) {
    face.cmpSumCCSpctmData(&ds, 0, d);
    face.cmpSumCCSpctmData4ActSns(&ds, 0, d);
  }
  ds.computeMagnitude(1);
  ds.reloadSpctmDataTrl();
  // Each accumulation, on its own copy, must leave a consistent dataset
  // whether it succeeds or not.
  for (auto accumulate : {&CSpctmTrlCCDatazq::accumulateTime1, &CSpctmTrlCCDatazq::accumulateFreq1,
                          &CSpctmTrlCCDatazq::accumulateTimeFreq1}) {
    CSpctmTrlCCDatazq copy;
    static_cast<CSpctmTrlCCData&>(copy) = ds;
    check(misfit(copy), "copied dataset");
    (copy.*accumulate)();
    check(misfit(copy), "accumulated dataset");
  }
  if (modest) {
    CSpctmTrlCCDatazq sum;
    sum.add(&ds, nullptr, nullptr);
    sum.add(&ds, nullptr, nullptr);
    check(misfit(sum), "sum of datasets");
  }
  roundTrip(ds, "dataset after its operations");
  return 0;
}
