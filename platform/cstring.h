// CString: the text type of the record interfaces.
//
// It holds UTF-16 code units exactly as they were read from an archive, so a
// string loaded from a file (even one with a lone surrogate) is written back
// byte for byte. Conversion to and from UTF-8 happens only at the edges:
// construction from `const char*` / `std::string`, `toUtf8()`, and `Format`.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

class CString {
 public:
  CString() = default;
  CString(const char* utf8);                // NOLINT: implicit like MFC's
  CString(const std::string& utf8);         // NOLINT
  CString(const char16_t* units);           // NOLINT
  CString(std::u16string units) : units_(std::move(units)) {}  // NOLINT

  // Number of UTF-16 code units.
  int GetLength() const { return static_cast<int>(units_.size()); }
  bool IsEmpty() const { return units_.empty(); }
  void Empty() { units_.clear(); }

  // UTF-8 form; a lone surrogate becomes U+FFFD.
  std::string toUtf8() const;
  const std::u16string& units() const { return units_; }
  std::u16string& units() { return units_; }

  // printf-style formatting into this string. The format and every `%s`
  // argument are UTF-8 `const char*` (pass `str.toUtf8().c_str()` for a
  // CString). `%I64d`, `%I64u` and `%I64x` take a 64-bit integer
  // (int64_t / uint64_t). The compiler cannot check these formats (MSVC
  // modifiers are not GNU printf), so keep arguments matching. Numeric conversions are the C library's, so "%f"
  // gives exactly what printf gives.
  void Format(const char* fmt, ...);
  void AppendFormat(const char* fmt, ...);
  void FormatV(const char* fmt, va_list args);

  CString& operator+=(const CString& other) {
    units_ += other.units_;
    return *this;
  }
  CString& operator+=(const char* utf8) { return *this += CString(utf8); }
  friend CString operator+(CString a, const CString& b) { return a += b; }

  friend bool operator==(const CString& a, const CString& b) { return a.units_ == b.units_; }
  friend bool operator==(const CString& a, const char* b) { return a == CString(b); }
  friend bool operator<(const CString& a, const CString& b) { return a.units_ < b.units_; }

  // Decodes single-byte text in the Windows-1252 code page (the form MFC
  // writes for a non-Unicode CString).
  static CString fromWindows1252(std::string_view bytes);

 private:
  std::u16string units_;
};

// Rewrites MSVC's "%I64d"-style length modifiers to the standard "ll".
std::string translateMsvcFormat(const char* fmt);

// Formats like CString::Format and returns the UTF-8 text.
std::string formatUtf8(const char* fmt, ...);
