// Helpers of the cxc end-to-end tests: run the built binary in a scratch
// folder, and read and write .npy files with a reader of our own (kept
// independent of the tool's).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#ifndef CXC_BINARY
#define CXC_BINARY ""
#endif

namespace cxc_test {

struct CxcRun {
  int code = -1;
  std::string out;
  std::string err;
};

// A fresh folder under the test temp dir, removed with its contents.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  std::string operator/(const std::string& name) const { return path + "/" + name; }

  std::string path;
};

// True when the tests know where the binary is.
inline bool haveBinary() { return CXC_BINARY[0] != '\0'; }
// Runs cxc with `args` in `dir`; stdout and stderr are captured.
CxcRun runCxc(const std::vector<std::string>& args, const std::string& dir);

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool fileExists(const std::string& path);
inline int lineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }
// Every one of `parts` occurs in `text`.
inline void expectHas(const std::string& text, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts) EXPECT_NE(text.find(part), std::string::npos) << part << " in:\n" << text;
}

struct Npy {
  std::string descr;
  bool fortranOrder = true;
  std::vector<int64_t> shape;
  std::vector<double> values;  // complex: real and imaginary interleaved
};

// Parses a .npy file of version 1.0; fails the test on anything unexpected.
Npy readNpy(const std::string& path);
// Writes a version 1.0 .npy file with `descr` ("<f8", "<c16", or anything
// else for refusal tests) and the given values.
void writeNpy(const std::string& path, const std::string& descr, const std::vector<int64_t>& shape,
              const std::vector<double>& values);

// A scratch folder to run cxc in; skips the test when there is no binary.
class CxcTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!haveBinary()) GTEST_SKIP() << "no cxc binary";
  }
  CxcRun cxc(const std::vector<std::string>& args) { return runCxc(args, dir.path); }

  // Exit `code` and a stderr starting "cxc: " that names `what`; the file
  // `output` (if given) is neither created nor changed.
  void expectFailure(const std::vector<std::string>& args, int code, const std::string& what,
                     const std::string& output = "") {
    const bool existed = !output.empty() && fileExists(dir / output);
    const std::vector<uint8_t> before = existed ? readBytes(dir / output) : std::vector<uint8_t>{};
    const CxcRun r = cxc(args);
    EXPECT_EQ(r.code, code) << r.out << r.err;
    EXPECT_EQ(r.err.rfind("cxc: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    if (!output.empty()) {
      EXPECT_EQ(fileExists(dir / output), existed) << output;
      EXPECT_EQ(readBytes(dir / output), before) << output;
    }
  }

  ScratchDir dir;
};

}  // namespace cxc_test
