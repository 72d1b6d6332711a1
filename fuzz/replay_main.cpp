// Stand-in for the fuzzing engine where libFuzzer is not available (a GCC
// build): runs the target once on every file named on the command line, or on
// every file of every folder named there, in name order. Exits non-zero when
// an argument cannot be read; a failed check aborts as under the engine.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

namespace {

bool runFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int files = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> entries;
      for (const auto& e : std::filesystem::directory_iterator(arg, ec)) {
        if (e.is_regular_file()) entries.push_back(e.path());
      }
      std::sort(entries.begin(), entries.end());
      for (const auto& p : entries) {
        ok = runFile(p) && ok;
        ++files;
      }
    } else {
      ok = runFile(arg) && ok;
      ++files;
    }
  }
  std::printf("replayed %d input(s)\n", files);
  return ok ? 0 : 1;
}
