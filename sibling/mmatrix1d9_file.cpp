#include "sibling/mmatrix1d9_file.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "platform/read_context.h"

int CMMatrix1D9File::serialize(CArchive& ar) {
  using namespace megcxc::vecfile;
  if (ar.IsStoring()) {
    const int64_t count = size();
    ar << CString(kMagic) << kVersion << (count > 0 ? lowBound : int64_t{0}) << count;
    if (count > 0) ar.writeDoubles(pData, static_cast<std::size_t>(count));
    return 1;
  }
  megcxc::ReadContext ctx(ar, "vector");
  CString magic;
  ctx.read("magic", magic);
  if (!(magic == kMagic)) return 0;
  int32_t version = 0;
  int64_t low = 0, count = 0;
  ctx.read("version", version);
  if (version != kVersion) return 0;
  ctx.read("lower bound", low);
  ctx.read("count", count);
  if (count < 0) return 0;
  if (count == 0) {
    clear();
    return 1;
  }
  const uint64_t bytes = megcxc::saturatedProduct(static_cast<uint64_t>(count), sizeof(double));
  if (bytes > megcxc::kMaxDeclaredBytes) return 0;
  ctx.at("values");
  // From here the values can be located, so a refused record is still read
  // to its end: its caller goes on with the next item of the stream.
  auto skipValues = [&] {
    double scratch[64];
    for (int64_t left = count; left > 0; left -= 64) {
      ctx.getDoubles(scratch, static_cast<std::size_t>(left < 64 ? left : 64));
    }
    return 0;
  };
  if (low > INT64_MAX - (count - 1)) return skipValues();
  struct Free {
    void operator()(double* p) const { std::free(p); }
  };
  std::unique_ptr<double, Free> buffer;
  if (megcxc::mayAllocateAhead(ar, bytes, bytes)) {
    buffer.reset(static_cast<double*>(megcxc::xmalloc(static_cast<std::size_t>(bytes))));
    if (!buffer) return skipValues();
    ctx.getDoubles(buffer.get(), static_cast<std::size_t>(count));
  } else {
    // The stream may not hold the values: they are gathered as they arrive
    // and the buffer is allocated once they are all there.
    std::vector<double> arrived;
    try {
      ctx.appendDoubles(arrived, static_cast<uint64_t>(count));
    } catch (const std::bad_alloc&) {
      return 0;
    }
    buffer.reset(static_cast<double*>(megcxc::xmalloc(static_cast<std::size_t>(bytes))));
    if (!buffer) return 0;
    std::memcpy(buffer.get(), arrived.data(), static_cast<std::size_t>(bytes));
  }
  _adopt(buffer.release(), count, low);
  return 1;
}
