#include "sibling/mmatrix1d9_file.h"

#include <cstdlib>
#include <memory>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"

int CMMatrix1D9File::serialize(CArchive& ar) {
  using namespace megcxc::vecfile;
  if (ar.IsStoring()) {
    const int64_t count = size();
    ar << CString(kMagic) << kVersion << (count > 0 ? lowBound : int64_t{0}) << count;
    if (count > 0) ar.writeDoubles(pData, static_cast<std::size_t>(count));
    return 1;
  }
  CString magic;
  ar >> magic;
  if (!(magic == kMagic)) return 0;
  int32_t version = 0;
  int64_t low = 0, count = 0;
  ar >> version;
  if (version != kVersion) return 0;
  ar >> low >> count;
  if (count < 0) return 0;
  if (count == 0) {
    clear();
    return 1;
  }
  const std::size_t bytes = megcxc::checkedBytes(count, 1, sizeof(double));
  if (bytes == SIZE_MAX || !ar.mayHold(bytes)) return 0;
  // From here the values can be located, so a refused record is still read
  // to its end: its caller goes on with the next item of the stream.
  auto skipValues = [&] {
    double scratch[64];
    for (int64_t left = count; left > 0; left -= 64) {
      ar.readDoubles(scratch, static_cast<std::size_t>(left < 64 ? left : 64));
    }
    return 0;
  };
  if (low > INT64_MAX - (count - 1)) return skipValues();
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::unique_ptr<double, Free> buffer(static_cast<double*>(megcxc::xmalloc(bytes)));
  if (!buffer) return skipValues();
  ar.readDoubles(buffer.get(), static_cast<std::size_t>(count));
  _adopt(buffer.release(), count, low);
  return 1;
}
