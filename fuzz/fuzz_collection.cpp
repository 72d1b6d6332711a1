// Fuzz target of the collection archive reader (both magics), then the
// collection's cross-class operations on whatever was loaded.
#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  CMEGSpctmCCDataFace09File face;
  readAndRoundTrip(face, data, size);
  face.cmpSumCCSpctmAllClassType();
  face.cmpSumCCSpctmAllClassType4ActSns();
  bool modest = true;
  for (CSpctmTrlCCDatazq* ds : face.trialByClass)
    if (ds != nullptr && !modestExtents(*ds)) modest = false;
  for (int op = 0; modest && op < 4; ++op) {
    face.actCtlOperation = op;
    face.doAct_Ctl_operation();
    check(misfit(face), "collection after the active-control operation");
  }
  face.normSpctmCCData_rootMeanSquare(0);
  face.zeroDiagonal();
  double mean = 0.0;
  int64_t count = 0;
  for (int source = 0; source < 4; ++source) face.getSelectSpctmCCDValueX(source, 0, -1, -1, -1, -1, mean, count, -1, 0);
  face.reloadSpctmDataAll();
  roundTrip(face, "collection after its operations");
  return 0;
}
