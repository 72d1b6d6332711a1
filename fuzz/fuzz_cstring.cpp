// Fuzz target of the CString archive reader: the input is read as a sequence
// of strings until it runs out. Every string must match an independent decoder
// of MFC's string form (the tagged UTF-16 form and the untagged single-byte
// form, every length prefix width), the reader must stop exactly where the
// decoder does, and the strings read must be written with the expected size
// and read back unchanged.
#include <optional>
#include <string_view>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "platform/cstring.h"

using namespace megcxc::fuzz;

namespace {

// The UTF-16 units of the string at `pos` and where it ends, or nothing when
// the input ends inside it.
std::optional<std::pair<std::u16string, std::size_t>> decodeOne(const uint8_t* d, std::size_t size, std::size_t pos) {
  auto field = [&](std::size_t width, uint64_t& v) {
    if (size - pos < width) return false;
    v = le(d + pos, width);
    pos += width;
    return true;
  };
  uint64_t len = 0, wide = 0, charSize = 1;
  if (!field(1, len)) return {};
  if (len == 0xFF) {
    if (!field(2, wide)) return {};
    if (wide == 0xFFFE) {  // the UTF-16 tag, then the length prefix again
      charSize = 2;
      if (!field(1, len) || (len == 0xFF && !field(2, wide))) return {};
    }
    if (len == 0xFF) {
      len = wide;
      if (wide == 0xFFFF && (!field(4, len) || (len == 0xFFFFFFFFu && !field(8, len)))) return {};
    }
  }
  if (len > (size - pos) / charSize) return {};
  std::u16string units;
  for (uint64_t i = 0; charSize == 2 && i < len; ++i) units.push_back(static_cast<char16_t>(le(d + pos + 2 * i, 2)));
  if (charSize == 1) units = CString::fromWindows1252(std::string_view(reinterpret_cast<const char*>(d + pos), len)).units();
  return std::make_pair(units, pos + len * charSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  installSilentMessageBox();
  std::vector<CString> strings;
  std::vector<int64_t> ends;
  const int result = readFrom(data, size, [&](CArchive& ar) -> int {
    for (;;) {
      CString s;
      ar >> s;
      strings.push_back(s);
      ends.push_back(ar.position());
    }
  });
  FUZZ_CHECK(result == kRanOut, "reading strings ended other than by running out");
  std::size_t pos = 0;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    const auto d = decodeOne(data, size, pos);
    FUZZ_CHECK(d && d->first == strings[i].units() && static_cast<int64_t>(d->second) == ends[i],
               "string " + std::to_string(i) + " differs from the decoder's");
    pos = d->second;
  }
  FUZZ_CHECK(!decodeOne(data, size, pos), "the reader refused a complete string");

  // Tagged form: FF FE FF, a 1-, 3- or 7-byte length, the UTF-16 units.
  const std::vector<uint8_t> bytes = writeTo([&](CArchive& ar) {
    for (const CString& s : strings) ar << s;
  });
  std::size_t expectedSize = 0;
  for (const CString& s : strings) {
    const std::size_t units = s.units().size();
    expectedSize += 3 + (units < 0xFF ? 1 : units < 0xFFFE ? 3 : 7) + 2 * units;
  }
  FUZZ_CHECK(bytes.size() == expectedSize, "written strings have the wrong size");
  std::vector<CString> back(strings.size());
  int64_t rest = -1;
  const int reread = readFrom(bytes.data(), bytes.size(), [&](CArchive& ar) {
    for (CString& s : back) ar >> s;
    return 1;
  }, &rest);
  FUZZ_CHECK(reread == 1 && rest == 0, "written strings do not read back whole");
  for (std::size_t i = 0; i < strings.size(); ++i)
    FUZZ_CHECK(back[i].units() == strings[i].units(), "string " + std::to_string(i) + " reads back changed");
  return 0;
}
