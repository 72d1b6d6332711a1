// Fuzz target of the summary archive reader (version 20130514 and the dropped
// version 20111222).
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "summary/sum_cc_spctm_datazq.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  CSumCCSpctmDatazq summary;
  readFrom(data, size, [&](CArchive& ar) { return summary.serializeSumCCD(ar); });
  checkSummary(summary, "fuzzed summary");

  RoundTrip<CSumCCSpctmDatazq> rt;
  rt.store = [](CSumCCSpctmDatazq& s, CArchive& ar) { s.serializeSumCCD(ar); };
  rt.load = [](CSumCCSpctmDatazq& s, CArchive& ar) { return s.serializeSumCCD(ar); };
  rt.check = [](const CSumCCSpctmDatazq& s, const char* where) { checkSummary(s, where); };
  roundTrip(summary, rt);

  // A copy must own its own arrays and write the same bytes.
  CSumCCSpctmDatazq copy;
  copy = summary;
  checkSummary(copy, "copied summary");
  const auto a = writeTo([&](CArchive& ar) { summary.serializeSumCCD(ar); });
  const auto b = writeTo([&](CArchive& ar) { copy.serializeSumCCD(ar); });
  FUZZ_CHECK(a == b, "a copied summary writes other bytes");
  return 0;
}
