// Builds expected archive byte streams by hand, independently of CArchive.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace megcxc::test {

class Bytes {
 public:
  Bytes& u8(uint8_t v) {
    b_.push_back(v);
    return *this;
  }
  Bytes& u16(uint16_t v) { return raw(v, 2); }
  Bytes& i32(int32_t v) { return raw(static_cast<uint32_t>(v), 4); }
  Bytes& u32(uint32_t v) { return raw(v, 4); }
  Bytes& i64(int64_t v) { return raw(static_cast<uint64_t>(v), 8); }
  Bytes& f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    return raw(bits, 8);
  }
  // MFC Unicode CString form of an ASCII/UTF-16 text: FF FE FF len, UTF-16LE.
  Bytes& str(const std::u16string& s) {
    u8(0xFF).u16(0xFFFE);
    if (s.size() < 0xFF) {
      u8(static_cast<uint8_t>(s.size()));
    } else if (s.size() < 0xFFFE) {
      u8(0xFF).u16(static_cast<uint16_t>(s.size()));
    } else {
      u8(0xFF).u16(0xFFFF).u32(static_cast<uint32_t>(s.size()));
    }
    for (char16_t c : s) u16(c);
    return *this;
  }
  Bytes& str(const char* ascii) {
    std::u16string u;
    for (const char* p = ascii; *p; ++p) u.push_back(static_cast<unsigned char>(*p));
    return str(u);
  }
  Bytes& append(const std::vector<uint8_t>& more) {
    b_.insert(b_.end(), more.begin(), more.end());
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return b_; }
  std::size_t size() const { return b_.size(); }

 private:
  Bytes& raw(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) b_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
  }
  std::vector<uint8_t> b_;
};

}  // namespace megcxc::test
