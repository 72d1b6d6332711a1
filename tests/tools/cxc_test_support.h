// Helpers of the cxc end-to-end tests: run the built binary in a scratch
// folder, and read and write .npy files with a reader of our own (kept
// independent of the tool's).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace cxc_test {

struct CxcRun {
  int code = -1;
  std::string out;
  std::string err;
};

// A fresh folder under the test temp dir, removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs cxc with `args` in `dir`; stdout and stderr are captured.
CxcRun runCxc(const std::vector<std::string>& args, const std::string& dir);

// True when the tests know where the binary is.
bool haveBinary();

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool fileExists(const std::string& path);

struct Npy {
  std::string descr;
  bool fortranOrder = true;
  std::vector<int64_t> shape;
  std::size_t headerBytes = 0;  // magic, version, length and header text
  std::vector<double> values;   // complex: real and imaginary interleaved
};

// Parses a .npy file of version 1.0; fails the test on anything unexpected.
Npy readNpy(const std::string& path);
// Writes a version 1.0 .npy file with `descr` ("<f8", "<c16", or anything
// else for refusal tests) and the given values.
void writeNpy(const std::string& path, const std::string& descr, const std::vector<int64_t>& shape,
              const std::vector<double>& values);

// Number of lines of a text.
int lineCount(const std::string& text);

}  // namespace cxc_test

#define REQUIRE_CXC()                                               \
  do {                                                              \
    if (!::cxc_test::haveBinary()) GTEST_SKIP() << "no cxc binary"; \
  } while (0)
