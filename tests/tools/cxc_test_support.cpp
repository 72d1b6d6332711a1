#include "cxc_test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace cxc_test {

namespace {
std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

ScratchDir::ScratchDir() {
  std::string pattern = ::testing::TempDir() + "cxc-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!::mkdtemp(name.data())) ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
  path_ = name.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool haveBinary() {
#ifdef CXC_BINARY
  return true;
#else
  return false;
#endif
}

CxcRun runCxc(const std::vector<std::string>& args, const std::string& dir) {
  CxcRun run;
#ifdef CXC_BINARY
  const std::string outPath = dir + "/.stdout";
  const std::string errPath = dir + "/.stderr";
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(126);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    std::string program = CXC_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = readText(outPath);
  run.err = readText(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
#else
  (void)args;
  (void)dir;
#endif
  return run;
}

std::vector<uint8_t> readBytes(const std::string& path) {
  const std::string s = readText(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

Npy readNpy(const std::string& path) {
  Npy npy;
  const std::vector<uint8_t> b = readBytes(path);
  EXPECT_GE(b.size(), 10u) << path;
  if (b.size() < 10) return npy;
  EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 6), "NUMPY") << path;
  EXPECT_EQ(b[0], 0x93);
  EXPECT_EQ(b[6], 1) << "major version";
  EXPECT_EQ(b[7], 0) << "minor version";
  const std::size_t len = b[8] | (std::size_t{b[9]} << 8);
  npy.headerBytes = 10 + len;
  EXPECT_EQ(npy.headerBytes % 64, 0u) << "data must start on a 64-byte boundary";
  const std::string header(b.begin() + 10, b.begin() + static_cast<std::ptrdiff_t>(npy.headerBytes));
  EXPECT_EQ(header.back(), '\n');
  // The header is a Python dict literal; pick out the three keys by hand.
  auto valueAfter = [&header](const std::string& key) {
    const std::size_t at = header.find("'" + key + "':");
    return at == std::string::npos ? std::string() : header.substr(header.find_first_not_of(' ', at + key.size() + 3));
  };
  const std::string descr = valueAfter("descr");
  if (!descr.empty() && descr[0] == '\'') npy.descr = descr.substr(1, descr.find('\'', 1) - 1);
  npy.fortranOrder = valueAfter("fortran_order").rfind("True", 0) == 0;
  const std::string shape = valueAfter("shape");
  if (!shape.empty() && shape[0] == '(') {
    std::stringstream dims(shape.substr(1, shape.find(')') - 1));
    std::string item;
    while (std::getline(dims, item, ',')) {
      if (item.find_first_not_of(' ') != std::string::npos) npy.shape.push_back(std::stoll(item));
    }
  }
  const std::size_t data = b.size() - npy.headerBytes;
  npy.values.resize(data / 8);
  std::memcpy(npy.values.data(), b.data() + npy.headerBytes, npy.values.size() * 8);
  return npy;
}

void writeNpy(const std::string& path, const std::string& descr, const std::vector<int64_t>& shape,
              const std::vector<double>& values) {
  std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (";
  for (std::size_t i = 0; i < shape.size(); ++i)
    dict += std::to_string(shape[i]) + (shape.size() == 1 || i + 1 < shape.size() ? "," : "");
  dict += "), }";
  while ((10 + dict.size() + 1) % 64 != 0) dict += ' ';
  dict += '\n';
  std::string b = "\x93NUMPY";
  b += static_cast<char>(1);
  b += static_cast<char>(0);
  b += static_cast<char>(dict.size() & 0xFF);
  b += static_cast<char>(dict.size() >> 8);
  b += dict;
  b.append(reinterpret_cast<const char*>(values.data()), values.size() * 8);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(b.data(), static_cast<std::streamsize>(b.size()));
}

int lineCount(const std::string& text) {
  int n = 0;
  for (const char c : text) n += c == '\n';
  return n;
}

}  // namespace cxc_test
