// Fuzz target of the collection archive reader (both magics), followed by
// the collection's cross-class operations on whatever was loaded.
#include <cstddef>
#include <cstdint>

#include "face/meg_spctm_cc_data_face09_file.h"
#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  CMEGSpctmCCDataFace09File face;
  readFrom(data, size, [&](CArchive& ar) { return face.serializeSpctmFace(ar); });
  checkCollection(face, "fuzzed collection");

  RoundTrip<CMEGSpctmCCDataFace09File> rt;
  rt.store = [](CMEGSpctmCCDataFace09File& f, CArchive& ar) { f.serializeSpctmFace(ar); };
  rt.load = [](CMEGSpctmCCDataFace09File& f, CArchive& ar) { return f.serializeSpctmFace(ar); };
  rt.check = [](const CMEGSpctmCCDataFace09File& f, const char* where) { checkCollection(f, where); };
  roundTrip(face, rt);

  face.cmpSumCCSpctmAllClassType();
  face.cmpSumCCSpctmAllClassType4ActSns();
  bool modest = true;
  for (CSpctmTrlCCDatazq* ds : face.trialByClass) {
    if (ds != nullptr && !modestExtents(*ds)) modest = false;
  }
  for (int op = 0; modest && op < 4; ++op) {
    face.actCtlOperation = op;
    face.doAct_Ctl_operation();
    checkCollection(face, "collection after the active-control operation");
  }
  face.normSpctmCCData_rootMeanSquare(0);
  face.zeroDiagonal();
  double mean = 0.0;
  int64_t count = 0;
  for (int source = 0; source < 4; ++source) face.getSelectSpctmCCDValueX(source, 0, -1, -1, -1, -1, mean, count, -1, 0);
  face.reloadSpctmDataAll();
  checkCollection(face, "collection after its operations");
  roundTrip(face, rt);
  return 0;
}
