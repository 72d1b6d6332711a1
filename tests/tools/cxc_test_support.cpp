#include "cxc_test_support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

namespace cxc_test {

namespace {
std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

CxcTest::CxcTest() {
  std::string name = ::testing::TempDir() + "cxc-test-XXXXXX";
  if (!::mkdtemp(name.data())) ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
  dir.path = name;
}

CxcRun CxcTest::cxc(const std::vector<std::string>& args) const { return cxcAfter("", args); }

CxcRun CxcTest::cxcAfter(const std::string& shellPrefix, const std::vector<std::string>& args) const {
  CxcRun run;
  // Every argument single-quoted for the shell; the tests pass none with a quote.
  std::string command = "cd '" + dir.path + "' && " + shellPrefix + "'" CXC_BINARY "'";
  for (const std::string& a : args) command += " '" + a + "'";
  const int status = std::system((command + " >.stdout 2>.stderr").c_str());
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = readText(dir / ".stdout");
  run.err = readText(dir / ".stderr");
  std::remove((dir / ".stdout").c_str());
  std::remove((dir / ".stderr").c_str());
  return run;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  const std::string s = readText(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Npy readNpy(const std::string& path) {
  Npy npy;
  const std::vector<uint8_t> b = readBytes(path);
  const std::size_t headerBytes = b.size() < 10 ? 0 : 10 + (b[8] | (std::size_t{b[9]} << 8));
  if (headerBytes == 0 || headerBytes > b.size()) {
    ADD_FAILURE() << path << ": missing or too short";
    return npy;
  }
  EXPECT_EQ(std::string(b.begin(), b.begin() + 8), std::string("\x93NUMPY\x01\x00", 8)) << "version 1.0";
  EXPECT_EQ(headerBytes % 64, 0u) << "data must start on a 64-byte boundary";
  const std::string header(b.begin() + 10, b.begin() + static_cast<std::ptrdiff_t>(headerBytes));
  EXPECT_EQ(header.back(), '\n');
  // The header is a Python dict literal; pick out the three keys.
  std::smatch m;
  if (std::regex_search(header, m, std::regex("'descr': *'([^']*)'"))) npy.descr = m[1];
  npy.fortranOrder = std::regex_search(header, std::regex("'fortran_order': *True"));
  std::regex_search(header, m, std::regex("'shape': *\\(([^)]*)\\)"));
  std::stringstream dims(m.empty() ? std::string() : m[1].str());
  for (std::string item; std::getline(dims, item, ',');) {
    if (item.find_first_not_of(' ') != std::string::npos) npy.shape.push_back(std::stoll(item));
  }
  npy.values.resize((b.size() - headerBytes) / 8);
  if (!npy.values.empty()) std::memcpy(npy.values.data(), b.data() + headerBytes, npy.values.size() * 8);
  return npy;
}

void writeNpy(const std::string& path, const std::string& descr, const std::vector<int64_t>& shape,
              const std::vector<double>& values) {
  std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (";
  for (std::size_t i = 0; i < shape.size(); ++i)
    dict += std::to_string(shape[i]) + (shape.size() == 1 || i + 1 < shape.size() ? "," : "");
  dict += "), }";
  dict.append(63 - (10 + dict.size()) % 64, ' ') += '\n';
  std::string b = "\x93NUMPY\x01";
  b += '\0';
  b += static_cast<char>(dict.size() & 0xFF);
  b += static_cast<char>(dict.size() >> 8);
  b += dict;
  b.append(reinterpret_cast<const char*>(values.data()), values.size() * 8);
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(b.data(), static_cast<std::streamsize>(b.size()));
}

}  // namespace cxc_test
