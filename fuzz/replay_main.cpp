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
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    std::error_code ec;
    if (!fs::is_directory(argv[i], ec)) inputs.emplace_back(argv[i]);
    const std::size_t first = inputs.size();
    for (const auto& e : fs::directory_iterator(argv[i], ec))
      if (e.is_regular_file()) inputs.push_back(e.path());
    std::sort(inputs.begin() + static_cast<std::ptrdiff_t>(first), inputs.end());
  }
  bool ok = true;
  for (const fs::path& p : inputs) {
    std::ifstream in(p, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", p.string().c_str());
      ok = false;
      continue;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu input(s)\n", inputs.size());
  return ok ? 0 : 1;
}
