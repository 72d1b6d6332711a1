#include "platform/cstring.h"

#include <cstdio>
#include <vector>

namespace {

void appendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Decodes UTF-8; malformed sequences become U+FFFD, one per bad byte.
std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      extra = 1;
      cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
      extra = 2;
      cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
      extra = 3;
      cp = c & 0x07;
    } else {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; ok && k <= extra; ++k) {
      if (i + k >= s.size()) {
        ok = false;
        break;
      }
      const unsigned char cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (cc & 0x3F);
    }
    const bool overlong = (extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000);
    if (!ok || overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(u'\uFFFD');
      ++i;
      continue;
    }
    appendUtf16(out, cp);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

CString::CString(const char* utf8) : units_(utf8 ? utf8ToUtf16(utf8) : std::u16string()) {}
CString::CString(const std::string& utf8) : units_(utf8ToUtf16(utf8)) {}
CString::CString(const char16_t* units) : units_(units ? units : u"") {}

std::string CString::toUtf8() const {
  std::string out;
  out.reserve(units_.size());
  for (std::size_t i = 0; i < units_.size(); ++i) {
    const char16_t u = units_[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units_.size() && units_[i + 1] >= 0xDC00 &&
        units_[i + 1] <= 0xDFFF) {
      const char32_t cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units_[i + 1] - 0xDC00);
      appendUtf8(out, cp);
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, u);
    }
  }
  return out;
}

std::string translateMsvcFormat(const char* fmt) {
  std::string out;
  if (!fmt) return out;
  for (const char* p = fmt; *p; ++p) {
    out.push_back(*p);
    if (*p != '%') continue;
    // Copy flags, width and precision, then look for the I64 modifier.
    const char* q = p + 1;
    if (*q == '%') {
      out.push_back('%');
      p = q;
      continue;
    }
    while (*q && std::string_view("-+ #0123456789.*").find(*q) != std::string_view::npos) out.push_back(*q++);
    if (q[0] == 'I' && q[1] == '6' && q[2] == '4') {
      out += "ll";
      q += 3;
    }
    p = q - 1;
  }
  return out;
}

void CString::FormatV(const char* fmt, va_list args) {
  const std::string f = translateMsvcFormat(fmt);
  va_list copy;
  va_copy(copy, args);
  char small[512];
  const int n = std::vsnprintf(small, sizeof small, f.c_str(), copy);
  va_end(copy);
  if (n < 0) {
    units_.clear();
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof small) {
    units_ = utf8ToUtf16(std::string_view(small, static_cast<std::size_t>(n)));
    return;
  }
  std::vector<char> big(static_cast<std::size_t>(n) + 1);
  std::vsnprintf(big.data(), big.size(), f.c_str(), args);
  units_ = utf8ToUtf16(std::string_view(big.data(), static_cast<std::size_t>(n)));
}

void CString::Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  FormatV(fmt, args);
  va_end(args);
}

void CString::AppendFormat(const char* fmt, ...) {
  CString tail;
  va_list args;
  va_start(args, fmt);
  tail.FormatV(fmt, args);
  va_end(args);
  *this += tail;
}

std::string formatUtf8(const char* fmt, ...) {
  CString s;
  va_list args;
  va_start(args, fmt);
  s.FormatV(fmt, args);
  va_end(args);
  return s.toUtf8();
}

CString CString::fromWindows1252(std::string_view bytes) {
  // 0x80..0x9F differ from Latin-1; undefined slots map to themselves as MFC's
  // MultiByteToWideChar does for cp1252.
  static const char16_t k80[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  std::u16string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const unsigned char b = static_cast<unsigned char>(ch);
    out.push_back(b >= 0x80 && b < 0xA0 ? k80[b - 0x80] : static_cast<char16_t>(b));
  }
  return CString(std::move(out));
}
