// Fuzz target of the CArchive primitives. The input is a small program and a
// stream: byte 0 picks the archive's buffer size, byte 1 the number k of
// operation bytes that follow, and the rest is the stream the operations read.
// Every value read is compared with an independent little-endian decoding of
// the stream at the same offset, position(), bytesRemaining() and mayHold()
// must follow, and the archive must run out of bytes exactly where the stream
// does. The fixed-width values read are written again through a storing
// archive (with a buffer of the same size) and must give back their bytes.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

namespace {

enum Op { kI32, kU32, kI64, kF64, kBool, kU8, kU16, kDoubles, kRead, kReadExact, kQuery, kOpCount };
constexpr std::size_t kWidth[] = {4, 4, 8, 8, 1, 1, 2};

template <class T>
uint64_t bitsOf(T v) {
  if constexpr (std::is_same_v<T, double>) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return bits;
  } else {
    return static_cast<std::make_unsigned_t<T>>(v);
  }
}

// Reads one value, writes it to `out` and returns its bits.
template <class T>
uint64_t pass(CArchive& in, CArchive& out) {
  T v;
  in >> v;
  out << v;
  return bitsOf(v);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t bufferSize = 64 + static_cast<std::size_t>(data[0]) * 4;
  const std::size_t k = std::min<std::size_t>(data[1], size - 2);
  const uint8_t* ops = data + 2;
  const uint8_t* s = ops + k;
  const std::size_t n = size - 2 - k;
  CMemFile file(std::vector<uint8_t>(s, s + n)), sink;
  CArchive ar(&file, CArchive::load, bufferSize);
  CArchive out(&sink, CArchive::store, bufferSize);
  std::vector<uint8_t> passed;  // the bytes of the values written again, in order
  std::size_t pos = 0;
  for (std::size_t i = 0; i < k; ++i) {
    const Op op = static_cast<Op>(ops[i] % kOpCount);
    const std::size_t arg = ops[i] / kOpCount * 3;  // 0 ... 69
    const std::size_t need = op < kDoubles ? kWidth[op] : op == kDoubles ? arg * 8 : op == kQuery ? 0 : arg;
    const bool fits = n - pos >= need;
    try {
      uint64_t bits = 0;
      std::vector<uint8_t> got(arg + 1, 0xA5);
      std::vector<double> doubles(arg);
      switch (op) {
        case kI32: bits = pass<int32_t>(ar, out); break;
        case kU32: bits = pass<uint32_t>(ar, out); break;
        case kI64: bits = pass<int64_t>(ar, out); break;
        case kF64: bits = pass<double>(ar, out); break;
        case kBool: {  // not written again: any nonzero byte reads as true
          bool v;
          ar >> v;
          bits = v;
          break;
        }
        case kU8: bits = pass<uint8_t>(ar, out); break;
        case kU16: bits = pass<uint16_t>(ar, out); break;
        case kDoubles:
          ar.readDoubles(doubles.data(), arg);
          for (std::size_t j = 0; j < arg; ++j)
            FUZZ_CHECK(bitsOf(doubles[j]) == le(s + pos + 8 * j, 8), "readDoubles value differs");
          out.writeDoubles(doubles.data(), arg);
          break;
        case kRead: {
          const std::size_t count = ar.Read(got.data(), arg);
          FUZZ_CHECK(count == std::min(arg, n - pos) && got[arg] == 0xA5, "Read returned the wrong count");
          FUZZ_CHECK(std::equal(got.begin(), got.begin() + count, s + pos), "Read returned other bytes");
          pos += count;
          break;
        }
        case kReadExact:
          ar.ReadExact(got.data(), arg);
          FUZZ_CHECK(std::equal(got.begin(), got.begin() + arg, s + pos), "ReadExact returned other bytes");
          break;
        default:
          break;
      }
      FUZZ_CHECK(fits || op == kRead, "a read past the end did not throw");
      if (op < kDoubles) {
        FUZZ_CHECK(bits == (op == kBool ? le(s + pos, 1) != 0 : le(s + pos, need)), "value differs from its bytes");
      }
      if (op <= kDoubles && op != kBool) passed.insert(passed.end(), s + pos, s + pos + need);
      if (op != kRead) pos += need;
      FUZZ_CHECK(ar.position() == static_cast<int64_t>(pos) && ar.bytesRemaining() == static_cast<int64_t>(n - pos),
                 "position() or bytesRemaining() does not follow the reads");
      FUZZ_CHECK(ar.mayHold(n - pos) && (pos == n || !ar.mayHold(n - pos + 1)), "mayHold() is wrong");
    } catch (const CArchiveException& e) {
      FUZZ_CHECK(!fits && e.m_cause == CArchiveException::endOfFile, "a read that fits threw, or not endOfFile");
      break;
    }
  }
  out.Close();
  FUZZ_CHECK(sink.bytes() == passed, "writing the values read gave other bytes");
  return 0;
}
