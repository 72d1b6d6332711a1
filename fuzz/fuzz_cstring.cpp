// Fuzz target of the CString archive reader: the input is read as a sequence
// of strings until it runs out. Every string must match an independent decoder
// of MFC's string form (the tagged UTF-16 form and the untagged single-byte
// form, every length prefix width), the reader must stop exactly where the
// decoder does, and every string read must be written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/cstring.h"

using namespace megcxc::fuzz;

namespace {

// One string decoded by hand; `ok` is false when the input ends inside it.
struct Decoded {
  bool ok = false;
  std::u16string units;
  std::size_t end = 0;
};

uint64_t le(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

Decoded decodeOne(const uint8_t* d, std::size_t size, std::size_t pos) {
  Decoded out;
  auto has = [&](uint64_t n) { return size - pos >= n; };
  if (!has(1)) return out;
  uint64_t len = d[pos++];
  int charSize = 1;
  if (len == 0xFF) {
    if (!has(2)) return out;
    uint64_t w = le(d + pos, 2);
    pos += 2;
    if (w == 0xFFFE) {
      charSize = 2;
      if (!has(1)) return out;
      len = d[pos++];
      if (len == 0xFF) {
        if (!has(2)) return out;
        w = le(d + pos, 2);
        pos += 2;
      }
    }
    if (len == 0xFF) {
      len = w;
      if (w == 0xFFFF) {
        if (!has(4)) return out;
        len = le(d + pos, 4);
        pos += 4;
        if (len == 0xFFFFFFFFu) {
          if (!has(8)) return out;
          len = le(d + pos, 8);
          pos += 8;
        }
      }
    }
  }
  if (len > (size - pos) / static_cast<uint64_t>(charSize)) return out;
  if (charSize == 2) {
    for (uint64_t i = 0; i < len; ++i) out.units.push_back(static_cast<char16_t>(le(d + pos + 2 * i, 2)));
  } else {
    out.units = CString::fromWindows1252(std::string_view(reinterpret_cast<const char*>(d + pos), len)).units();
  }
  out.end = pos + static_cast<std::size_t>(len) * static_cast<std::size_t>(charSize);
  out.ok = true;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  std::vector<CString> strings;
  std::vector<int64_t> ends;
  const Outcome o = readFrom(data, size, [&](CArchive& ar) {
    for (;;) {
      CString s;
      ar >> s;
      strings.push_back(s);
      ends.push_back(ar.position());
    }
    return 1;
  });
  FUZZ_CHECK(o == Outcome::archiveException, std::string("reading strings ended as ") + outcomeName(o));

  std::size_t pos = 0;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    const Decoded d = decodeOne(data, size, pos);
    FUZZ_CHECK(d.ok, "the reader accepted string " + std::to_string(i) + " that runs past the input");
    FUZZ_CHECK(d.units == strings[i].units(), "string " + std::to_string(i) + " differs from the decoder's");
    FUZZ_CHECK(static_cast<int64_t>(d.end) == ends[i], "string " + std::to_string(i) + " ends elsewhere");
    pos = d.end;
  }
  FUZZ_CHECK(!decodeOne(data, size, pos).ok, "the reader refused a complete string");

  // All strings written through one archive and read back through another.
  const std::vector<uint8_t> bytes = writeTo([&](CArchive& ar) {
    for (const CString& s : strings) ar << s;
  });
  std::size_t expectedSize = 0;
  for (const CString& s : strings) {
    const std::size_t n = s.units().size();
    expectedSize += 3 + (n < 0xFF ? 1 : n < 0xFFFE ? 3 : 7) + 2 * n;
  }
  FUZZ_CHECK(bytes.size() == expectedSize, "written strings have the wrong size");
  std::vector<CString> back(strings.size());
  int64_t rest = -1;
  const Outcome r = readFrom(
      bytes.data(), bytes.size(),
      [&](CArchive& ar) {
        for (CString& s : back) ar >> s;
        return 1;
      },
      &rest);
  FUZZ_CHECK(r == Outcome::loaded && rest == 0, "written strings do not read back whole");
  for (std::size_t i = 0; i < strings.size(); ++i) {
    FUZZ_CHECK(back[i].units() == strings[i].units(), "string " + std::to_string(i) + " reads back changed");
  }
  return 0;
}
