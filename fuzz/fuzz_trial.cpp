// Fuzz target of the trial archive reader (versions 20090726, 20130513,
// 20130514 and 20130524, both magics).
//
// After the round trip the dataset operations run on what the reader
// accepted, so that hostile but loadable data (pairs of other extents than
// the dataset's, absent rows and planes, absurd selections) is also checked
// against every operation that walks the pairs.
#include <cstddef>
#include <cstdint>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "fuzz/fuzz_support.h"
#include "trial/spctm_trl_cc_datazq.h"

using namespace megcxc::fuzz;

namespace {

void exercise(CSpctmTrlCCDatazq& ds) {
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
  // Every accumulation works on its own copy; each must leave a consistent
  // dataset whether it succeeds or not.
  for (int how = 0; how < 3; ++how) {
    CSpctmTrlCCDatazq copy;
    static_cast<CSpctmTrlCCData&>(copy) = ds;
    checkTrial(copy, "copied dataset");
    if (how == 0) copy.accumulateTime1();
    if (how == 1) copy.accumulateFreq1();
    if (how == 2) copy.accumulateTimeFreq1();
    checkTrial(copy, "accumulated dataset");
  }
  if (modest) {
    CSpctmTrlCCDatazq sum;
    sum.add(&ds, nullptr, nullptr);
    sum.add(&ds, nullptr, nullptr);
    checkTrial(sum, "sum of datasets");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  CSpctmTrlCCDatazq ds;
  readFrom(data, size, [&](CArchive& ar) { return ds.serializeTrlSpctmZq(ar); });
  checkTrial(ds, "fuzzed dataset");

  RoundTrip<CSpctmTrlCCDatazq> rt;
  rt.store = [](CSpctmTrlCCDatazq& t, CArchive& ar) { t.serializeTrlSpctmZq(ar); };
  rt.load = [](CSpctmTrlCCDatazq& t, CArchive& ar) { return t.serializeTrlSpctmZq(ar); };
  rt.check = [](const CSpctmTrlCCDatazq& t, const char* where) { checkTrial(t, where); };
  roundTrip(ds, rt);

  exercise(ds);
  checkTrial(ds, "dataset after its operations");
  roundTrip(ds, rt);
  return 0;
}
