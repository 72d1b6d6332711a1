// Fuzz target of the summary archive reader (version 20130514 and the dropped
// version 20111222), then a copy, which must own its arrays and write the
// same bytes.
#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  CSumCCSpctmDatazq summary, copy;
  readAndRoundTrip(summary, data, size);
  copy = summary;
  check(misfit(copy), "copied summary");
  FUZZ_CHECK(bytesOf(copy) == bytesOf(summary), "a copied summary writes other bytes");
  return 0;
}
