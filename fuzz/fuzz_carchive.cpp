// Fuzz target of the CArchive primitives. The input is a small program and a
// stream: byte 0 picks the archive's buffer size, byte 1 the number k of
// operation bytes that follow, and the rest is the stream the operations read.
// Every value read is compared with an independent little-endian decoding of
// the stream at the same offset, position() and bytesRemaining() must follow,
// and the archive must run out of bytes exactly where the stream does. The
// fixed-width values read are then written through a storing archive (with a
// buffer of the same size) and must give back the bytes they came from.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

using namespace megcxc::fuzz;

namespace {

enum Op { kI32, kU32, kI64, kF64, kBool, kU8, kU16, kDoubles, kRead, kReadExact, kQuery, kOpCount };

uint64_t le(const uint8_t* p, std::size_t n) {
  uint64_t v = 0;
  for (std::size_t i = n; i-- > 0;) v = (v << 8) | p[i];
  return v;
}

// A value as it came out of the reading archive, to be written again.
struct Written {
  Op op;
  uint64_t bits;
  std::vector<double> doubles;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  if (size < 2) return 0;
  const std::size_t bufferSize = 64 + static_cast<std::size_t>(data[0]) * 4;
  const std::size_t k = std::min<std::size_t>(data[1], size - 2);
  const uint8_t* ops = data + 2;
  const uint8_t* s = data + 2 + k;
  const std::size_t n = size - 2 - k;

  std::size_t pos = 0;
  std::vector<uint8_t> consumed;  // the fixed-width bytes, in order
  std::vector<Written> values;
  CMemFile file(std::vector<uint8_t>(s, s + n));
  CArchive ar(&file, CArchive::load, bufferSize);
  for (std::size_t i = 0; i < k; ++i) {
    const Op op = static_cast<Op>(ops[i] % kOpCount);
    const std::size_t arg = ops[i] / kOpCount * 3;  // 0 ... 63
    const std::size_t widths[] = {4, 4, 8, 8, 1, 1, 2};
    const std::size_t need = op < kDoubles ? widths[op] : op == kDoubles ? arg * 8 : op == kQuery ? 0 : arg;
    const bool fits = n - pos >= need;
    try {
      uint64_t bits = 0;
      switch (op) {
        case kI32: { int32_t v; ar >> v; bits = static_cast<uint32_t>(v); break; }
        case kU32: { uint32_t v; ar >> v; bits = v; break; }
        case kI64: { int64_t v; ar >> v; bits = static_cast<uint64_t>(v); break; }
        case kF64: { double v; ar >> v; std::memcpy(&bits, &v, 8); break; }
        case kBool: { bool v; ar >> v; bits = v ? 1 : 0; break; }
        case kU8: { uint8_t v; ar >> v; bits = v; break; }
        case kU16: { uint16_t v; ar >> v; bits = v; break; }
        case kDoubles: {
          std::vector<double> v(arg);
          ar.readDoubles(v.data(), arg);
          for (std::size_t j = 0; j < arg; ++j) {
            uint64_t b;
            std::memcpy(&b, &v[j], 8);
            FUZZ_CHECK(b == le(s + pos + 8 * j, 8), "readDoubles value differs");
          }
          values.push_back({op, 0, v});
          break;
        }
        case kRead: {
          std::vector<uint8_t> v(arg + 1, 0xA5);
          const std::size_t got = ar.Read(v.data(), arg);
          FUZZ_CHECK(got == std::min(arg, n - pos), "Read returned the wrong count");
          FUZZ_CHECK(got == 0 || std::memcmp(v.data(), s + pos, got) == 0, "Read returned other bytes");
          FUZZ_CHECK(v[arg] == 0xA5, "Read wrote past the count");
          pos += got;
          break;
        }
        case kReadExact: {
          std::vector<uint8_t> v(arg);
          ar.ReadExact(v.data(), arg);
          FUZZ_CHECK(arg == 0 || std::memcmp(v.data(), s + pos, arg) == 0, "ReadExact returned other bytes");
          break;
        }
        case kQuery:
        case kOpCount:
          break;
      }
      FUZZ_CHECK(fits || op == kRead, "a read past the end did not throw");
      if (op < kDoubles) {
        const uint64_t expect = le(s + pos, need);
        if (op == kBool) FUZZ_CHECK(bits == (expect != 0 ? 1u : 0u), "bool value differs");
        else FUZZ_CHECK(bits == expect, "value differs from its bytes");
        if (op != kBool) {
          consumed.insert(consumed.end(), s + pos, s + pos + need);
          values.push_back({op, bits, {}});
        }
      }
      if (op == kDoubles) consumed.insert(consumed.end(), s + pos, s + pos + need);
      if (op != kRead) pos += need;
      FUZZ_CHECK(ar.position() == static_cast<int64_t>(pos), "position() does not follow the reads");
      FUZZ_CHECK(ar.bytesRemaining() == static_cast<int64_t>(n - pos), "bytesRemaining() is wrong");
      FUZZ_CHECK(ar.mayHold(n - pos) && (pos == n || !ar.mayHold(n - pos + 1)), "mayHold() is wrong");
    } catch (const CArchiveException& e) {
      FUZZ_CHECK(!fits, "a read that fits threw");
      FUZZ_CHECK(e.m_cause == CArchiveException::endOfFile, "running out did not throw endOfFile");
      break;
    }
  }

  std::vector<uint8_t> out;
  {
    CMemFile sink;
    {
      CArchive w(&sink, CArchive::store, bufferSize);
      for (const Written& v : values) {
        switch (v.op) {
          case kI32: w << static_cast<int32_t>(static_cast<uint32_t>(v.bits)); break;
          case kU32: w << static_cast<uint32_t>(v.bits); break;
          case kI64: w << static_cast<int64_t>(v.bits); break;
          case kF64: { double d; std::memcpy(&d, &v.bits, 8); w << d; break; }
          case kU8: w << static_cast<uint8_t>(v.bits); break;
          case kU16: w << static_cast<uint16_t>(v.bits); break;
          case kDoubles: w.writeDoubles(v.doubles.data(), v.doubles.size()); break;
          default: break;
        }
      }
      w.Close();
    }
    out = sink.bytes();
  }
  FUZZ_CHECK(out == consumed, "writing the values read gave other bytes");
  return 0;
}
