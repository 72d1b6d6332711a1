// Helpers of the cxc end-to-end tests: run the built binary in a scratch
// folder, and read and write .npy files with a reader of our own (kept
// independent of the tool's).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
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

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
inline bool fileExists(const std::string& path) { return std::filesystem::exists(path); }
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

// A fresh scratch folder (removed afterwards) to run cxc in; skips the test
// when the tests do not know where the binary is.
class CxcTest : public ::testing::Test {
 protected:
  CxcTest();
  ~CxcTest() override { std::filesystem::remove_all(dir.path, ignored); }
  void SetUp() override {
    if (CXC_BINARY[0] == '\0') GTEST_SKIP() << "no cxc binary";
  }
  // Runs cxc with `args` in the folder; stdout and stderr are captured.
  CxcRun cxc(const std::vector<std::string>& args) const;
  // The same, with `shellPrefix` (e.g. "ulimit -f 8; exec ") before the binary.
  CxcRun cxcAfter(const std::string& shellPrefix, const std::vector<std::string>& args) const;
  // Runs cxc into `last` and expects it to succeed.
  bool ok(const std::vector<std::string>& args) {
    last = cxc(args);
    EXPECT_EQ(last.code, 0) << args.front() << ": " << last.err;
    return last.code == 0;
  }
  Npy npy(const std::string& name) const { return readNpy(dir / name); }

  // Exit `code` and a stderr starting "cxc: " that names `what`; the file
  // `output` (if given) is neither created nor changed. The run is kept in `last`.
  void expectFailure(const std::vector<std::string>& args, int code, const std::string& what,
                     const std::string& output = "") {
    const bool existed = !output.empty() && fileExists(dir / output);
    const std::vector<uint8_t> before = existed ? readBytes(dir / output) : std::vector<uint8_t>{};
    last = cxc(args);
    EXPECT_EQ(last.code, code) << last.out << last.err;
    EXPECT_EQ(last.err.rfind("cxc: ", 0), 0u) << last.err;
    EXPECT_NE(last.err.find(what), std::string::npos) << last.err;
    if (!output.empty()) {
      EXPECT_EQ(fileExists(dir / output), existed) << output;
      EXPECT_EQ(readBytes(dir / output), before) << output;
    }
  }

  struct Folder {
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
  } dir;
  CxcRun last;
  std::error_code ignored;
};

}  // namespace cxc_test
