#include "interop/npy.h"

#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>

#include "platform/refused.h"

namespace megcxc::interop {

namespace {

constexpr unsigned char kMagic[6] = {0x93, 'N', 'U', 'M', 'P', 'Y'};
// NumPy aligns the start of the data to this many bytes.
constexpr std::size_t kAlign = 64;
// Largest header a reader accepts: real headers are a few hundred bytes.
constexpr uint32_t kMaxHeader = 1u << 20;

template <class T>
void toLittleEndian(T* values, std::size_t n) {
  if constexpr (std::endian::native == std::endian::big) {
    for (std::size_t i = 0; i < n; ++i) {
      unsigned char b[sizeof(T)];
      std::memcpy(b, &values[i], sizeof(T));
      for (std::size_t k = 0; k < sizeof(T) / 2; ++k) std::swap(b[k], b[sizeof(T) - 1 - k]);
      std::memcpy(&values[i], b, sizeof(T));
    }
  } else {
    (void)values;
    (void)n;
  }
}

std::size_t skipBlanks(const std::string& s, std::size_t i) {
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n')) ++i;
  return i;
}

// Position just after "'key'" and the colon that follows, or npos.
std::size_t findKey(const std::string& dict, const char* key) {
  for (const char quote : {'\'', '"'}) {
    const std::string quoted = std::string(1, quote) + key + quote;
    std::size_t at = dict.find(quoted);
    if (at == std::string::npos) continue;
    at = skipBlanks(dict, at + quoted.size());
    if (at < dict.size() && dict[at] == ':') return skipBlanks(dict, at + 1);
  }
  return std::string::npos;
}

}  // namespace

const char* npyDescr(NpyType type) {
  return type == NpyType::complex128 ? "<c16" : (type == NpyType::float32 ? "<f4" : "<f8");
}

std::string npyHeaderDict(NpyType type, const std::vector<int64_t>& shape) {
  std::string dict = "{'descr': '";
  dict += npyDescr(type);
  dict += "', 'fortran_order': False, 'shape': (";
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (i) dict += ", ";
    dict += std::to_string(shape[i]);
  }
  if (shape.size() == 1) dict += ",";
  dict += "), }";
  return dict;
}

NpyReader::NpyReader(const std::string& path) : path_(path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) refuse(path + ": cannot open: " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) refuse(path + ": is a directory, not a .npy file");
  fp_ = std::fopen(path.c_str(), "rb");
  if (!fp_) refuse(path + ": cannot open: " + std::strerror(errno));
  unsigned char pre[8];
  if (std::fread(pre, 1, 8, fp_) != 8 || std::memcmp(pre, kMagic, 6) != 0) refuse(path + ": not a .npy file");
  const int major = pre[6];
  uint32_t headerLen = 0;
  std::size_t prefix = 0;
  if (major == 1) {
    unsigned char b[2];
    if (std::fread(b, 1, 2, fp_) != 2) refuse(path + ": truncated .npy header");
    headerLen = b[0] | (uint32_t{b[1]} << 8);
    prefix = 10;
  } else if (major == 2 || major == 3) {
    unsigned char b[4];
    if (std::fread(b, 1, 4, fp_) != 4) refuse(path + ": truncated .npy header");
    headerLen = b[0] | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16) | (uint32_t{b[3]} << 24);
    prefix = 12;
  } else {
    refuse(path + ": unsupported .npy format version " + std::to_string(major));
  }
  if (headerLen > kMaxHeader) refuse(path + ": .npy header too large");
  std::string dict(headerLen, '\0');
  if (headerLen && std::fread(dict.data(), 1, headerLen, fp_) != headerLen) refuse(path + ": truncated .npy header");

  std::size_t at = findKey(dict, "descr");
  if (at == std::string::npos || at >= dict.size() || (dict[at] != '\'' && dict[at] != '"')) {
    refuse(path + ": .npy header has no dtype");
  }
  const std::size_t end = dict.find(dict[at], at + 1);
  if (end == std::string::npos) refuse(path + ": malformed .npy header");
  descr_ = dict.substr(at + 1, end - at - 1);
  // '=' and '|' mean native order (little-endian on every machine we build for).
  std::string d = descr_;
  if (!d.empty() && (d[0] == '=' || d[0] == '|')) d[0] = '<';
  if (d == "<f8") {
    type_ = NpyType::float64;
  } else if (d == "<c16") {
    type_ = NpyType::complex128;
  } else if (d == "<f4") {
    type_ = NpyType::float32;
  } else if (d == ">f8" || d == ">c16" || d == ">f4") {
    refuse(path + ": big-endian dtype '" + descr_ + "' is not supported (use astype('<" + d.substr(1) + "'))");
  } else {
    refuse(path + ": dtype '" + descr_ + "' is not supported: expected complex128 ('<c16') or float64 ('<f8')");
  }

  at = findKey(dict, "fortran_order");
  if (at == std::string::npos) refuse(path + ": malformed .npy header (no fortran_order)");
  if (dict.compare(at, 4, "True") == 0) {
    refuse(path + ": Fortran-order arrays are not supported (save np.ascontiguousarray(a))");
  }
  if (dict.compare(at, 5, "False") != 0) refuse(path + ": malformed .npy header (fortran_order)");

  at = findKey(dict, "shape");
  if (at == std::string::npos || at >= dict.size() || dict[at] != '(') refuse(path + ": malformed .npy header (shape)");
  const std::size_t close = dict.find(')', at);
  if (close == std::string::npos) refuse(path + ": malformed .npy header (shape)");
  const std::string dims = dict.substr(at + 1, close - at - 1);
  std::size_t i = 0;
  count_ = 1;
  while (true) {
    i = skipBlanks(dims, i);
    if (i >= dims.size()) break;
    std::size_t j = i;
    while (j < dims.size() && dims[j] >= '0' && dims[j] <= '9') ++j;
    if (j == i || j - i > 15) refuse(path + ": malformed .npy header (shape)");
    const int64_t n = std::stoll(dims.substr(i, j - i));
    shape_.push_back(n);
    if (n != 0 && count_ > std::numeric_limits<int64_t>::max() / 16 / n) refuse(path + ": array too large");
    count_ *= n;
    j = skipBlanks(dims, j);
    if (j < dims.size() && dims[j] == 'L') j = skipBlanks(dims, j + 1);
    if (j < dims.size() && dims[j] != ',') refuse(path + ": malformed .npy header (shape)");
    i = j + 1;
  }
  const int64_t dataBytes = count_ * bytesPerElement(type_);
  const int64_t have = static_cast<int64_t>(st.st_size) - static_cast<int64_t>(prefix + headerLen);
  if (have < dataBytes) {
    refuse(path + ": truncated: the shape needs " + std::to_string(dataBytes) + " bytes of data, the file holds " +
           std::to_string(have < 0 ? 0 : have));
  }
  if (have > dataBytes) {
    refuse(path + ": " + std::to_string(have - dataBytes) + " unexpected byte(s) after the array data");
  }
}

NpyReader::~NpyReader() {
  if (fp_) std::fclose(fp_);
}

void NpyReader::read(double* out, int64_t n) {
  if (n <= 0) return;
  const std::size_t want = static_cast<std::size_t>(n);
  if (type_ == NpyType::float32) {
    // Widened from the back, so the floats can be read into the same block.
    float* f = reinterpret_cast<float*>(out);
    readFloat32(f, n);
    for (std::size_t i = want; i-- > 0;) {
      float v;
      std::memcpy(&v, reinterpret_cast<const char*>(out) + i * sizeof(float), sizeof v);
      out[i] = static_cast<double>(v);
    }
    return;
  }
  if (std::fread(out, sizeof(double), want, fp_) != want) refuse(path_ + ": cannot read the array data");
  toLittleEndian(out, want);
}

void NpyReader::readFloat32(float* out, int64_t n) {
  if (type_ != NpyType::float32) refuse(path_ + ": the array is not float32");
  if (n <= 0) return;
  const std::size_t want = static_cast<std::size_t>(n);
  if (std::fread(out, sizeof(float), want, fp_) != want) refuse(path_ + ": cannot read the array data");
  toLittleEndian(out, want);
}

std::vector<double> NpyReader::readAll() {
  std::vector<double> values(static_cast<std::size_t>(count_ * doublesPerElement(type_)));
  read(values.data(), static_cast<int64_t>(values.size()));
  return values;
}

NpyWriter::NpyWriter(const std::string& path, NpyType type, const std::vector<int64_t>& shape) : path_(path) {
  expectedDoubles_ = doublesPerElement(type);
  for (const int64_t n : shape) expectedDoubles_ *= n;
  std::string dict = npyHeaderDict(type, shape);
  // Pad with blanks and end with a line break so the data start aligned.
  std::size_t prefix = 10;
  std::size_t total = prefix + dict.size() + 1;
  if ((total + kAlign - 1) / kAlign * kAlign - prefix > 0xFFFF) prefix = 12;
  total = prefix + dict.size() + 1;
  const std::size_t padded = (total + kAlign - 1) / kAlign * kAlign;
  dict.append(padded - total, ' ');
  dict.push_back('\n');
  const std::size_t headerLen = dict.size();

  fp_ = std::fopen(path.c_str(), "wb");
  if (!fp_) refuse(path + ": cannot create: " + std::strerror(errno));
  unsigned char pre[12];
  std::memcpy(pre, kMagic, 6);
  pre[6] = prefix == 10 ? 1 : 2;
  pre[7] = 0;
  for (std::size_t k = 0; k < prefix - 8; ++k) pre[8 + k] = static_cast<unsigned char>(headerLen >> (8 * k));
  if (std::fwrite(pre, 1, prefix, fp_) != prefix || std::fwrite(dict.data(), 1, headerLen, fp_) != headerLen) {
    refuse(path + ": cannot write: " + std::strerror(errno));
  }
}

NpyWriter::~NpyWriter() {
  if (fp_) {
    std::fclose(fp_);
    ::unlink(path_.c_str());
  }
}

void NpyWriter::write(const double* values, int64_t n) {
  if (n <= 0) return;
  const std::size_t count = static_cast<std::size_t>(n);
  std::size_t done = 0;
  if constexpr (std::endian::native == std::endian::little) {
    done = std::fwrite(values, sizeof(double), count, fp_);
  } else {
    std::vector<double> copy(values, values + count);
    toLittleEndian(copy.data(), count);
    done = std::fwrite(copy.data(), sizeof(double), count, fp_);
  }
  if (done != count) refuse(path_ + ": cannot write: " + std::strerror(errno));
  writtenDoubles_ += n;
}

void NpyWriter::close() {
  if (writtenDoubles_ != expectedDoubles_) {
    refuse(path_ + ": internal error: wrote " + std::to_string(writtenDoubles_) + " of " +
           std::to_string(expectedDoubles_) + " values");
  }
  const bool ok = std::fflush(fp_) == 0;
  const int err = errno;
  const bool closed = std::fclose(fp_) == 0;
  fp_ = nullptr;
  if (!ok || !closed) {
    ::unlink(path_.c_str());
    refuse(path_ + ": cannot write: " + std::strerror(err));
  }
}

void writeNpy(const std::string& path, const std::vector<int64_t>& shape, const std::vector<double>& values) {
  NpyWriter w(path, NpyType::float64, shape);
  w.write(values.data(), static_cast<int64_t>(values.size()));
  w.close();
}

}  // namespace megcxc::interop
