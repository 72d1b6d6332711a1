// NumPy .npy files: the exchange format with NumPy and MNE-Python users.
//
// Supported: format versions 1.0, 2.0 and 3.0; C-order arrays of
// little-endian float64 ('<f8') and complex128 ('<c16', real and imaginary
// parts interleaved); the reader also takes float32 ('<f4', sensor recordings
// are often stored so). The writer produces version 1.0 (2.0 only for a header
// that does not fit), with the header padded so the data start on a 64-byte
// boundary, as NumPy does.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace megcxc::interop {

enum class NpyType { float64, complex128, float32 };

// Number of doubles per element: 1 for float64 (and float32, which read()
// widens), 2 for complex128.
inline int doublesPerElement(NpyType type) { return type == NpyType::complex128 ? 2 : 1; }
// Bytes of one element in the file.
inline int bytesPerElement(NpyType type) {
  return type == NpyType::complex128 ? 16 : (type == NpyType::float32 ? 4 : 8);
}

// The descr text of a type ("<f8" / "<c16" / "<f4").
const char* npyDescr(NpyType type);

// The header text of a C-order array, e.g. "{'descr': '<f8', 'fortran_order':
// False, 'shape': (3, 4), }" (without padding).
std::string npyHeaderDict(NpyType type, const std::vector<int64_t>& shape);

// An open .npy file positioned at its data.
class NpyReader {
 public:
  // Opens and checks `path`: magic, version, header, a supported dtype, C
  // order, non-negative dimensions and a data size equal to what the shape
  // needs. Throws Refused naming the file and the problem.
  explicit NpyReader(const std::string& path);
  ~NpyReader();
  NpyReader(const NpyReader&) = delete;
  NpyReader& operator=(const NpyReader&) = delete;

  NpyType type() const { return type_; }
  const std::vector<int64_t>& shape() const { return shape_; }
  const std::string& descr() const { return descr_; }
  // Product of the dimensions.
  int64_t elementCount() const { return count_; }
  // Reads the next `n` doubles (elements times doublesPerElement) in file
  // order; float32 elements are widened exactly. Throws Refused when they
  // cannot be read.
  void read(double* out, int64_t n);
  // Reads the next `n` elements of a float32 array as they are stored.
  // Throws Refused for another dtype or when they cannot be read.
  void readFloat32(float* out, int64_t n);
  // The whole array as doubles.
  std::vector<double> readAll();

 private:
  std::string path_;
  std::FILE* fp_ = nullptr;
  NpyType type_ = NpyType::float64;
  std::string descr_;
  std::vector<int64_t> shape_;
  int64_t count_ = 0;
};

// Writes one .npy file. The caller writes exactly elementCount elements in C
// order, then calls close(); a short or failed write throws Refused
// naming the file.
class NpyWriter {
 public:
  NpyWriter(const std::string& path, NpyType type, const std::vector<int64_t>& shape);
  // Closes the file if close() was not reached (an exception is unwinding);
  // the incomplete file is removed then.
  ~NpyWriter();
  NpyWriter(const NpyWriter&) = delete;
  NpyWriter& operator=(const NpyWriter&) = delete;

  // Writes `n` doubles (little-endian; two per complex element).
  void write(const double* values, int64_t n);
  // Checks the element count and closes the file.
  void close();

 private:
  std::string path_;
  std::FILE* fp_ = nullptr;
  int64_t expectedDoubles_ = 0;
  int64_t writtenDoubles_ = 0;
};

// Writes a whole float64 array in one call.
void writeNpy(const std::string& path, const std::vector<int64_t>& shape, const std::vector<double>& values);

}  // namespace megcxc::interop
