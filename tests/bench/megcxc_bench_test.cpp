// megcxc-bench on a tiny collection: every step is listed with its timings
// and the figures of the sum-keeping steps equal sums worked out here from the
// cell formula the bench documents. No timing is asserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tools/cxc_test_support.h"

namespace {

constexpr int kS = 8;
constexpr int kT = 3;
constexpr int kF = 4;

// Cell k = t * kF + f of pair (r, c).
double re(int r, int c, int k) { return (static_cast<double>((7 * r + 3 * c + k) % 17) - 8.25) * 0.37; }
double im(int r, int c, int k) { return (static_cast<double>((r + 5 * c + k) % 13) - 6.5) * 0.21; }

// The value of "key" in one JSON line of the bench (NaN for null or absent).
double field(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\": ");
  if (at == std::string::npos) return NAN;
  const char* start = line.c_str() + at + key.size() + 4;
  char* end = nullptr;
  const double v = std::strtod(start, &end);
  return end == start ? NAN : v;
}

// The runner of the cxc tests, built into this program with CXC_BINARY naming
// megcxc-bench (tests/CMakeLists.txt): ok() and cxc() run megcxc-bench.
class MegcxcBenchTest : public cxc_test::CxcTest {
 protected:
  // Exit `code` and one stderr line "megcxc-bench: ..." that names `what`.
  void expectError(const std::vector<std::string>& args, int code, const std::string& what) {
    last = cxc(args);
    EXPECT_EQ(last.code, code) << last.out << last.err;
    EXPECT_EQ(last.err.rfind("megcxc-bench: ", 0), 0u) << last.err;
    EXPECT_EQ(cxc_test::lineCount(last.err), 1) << last.err;
    EXPECT_NE(last.err.find(what), std::string::npos) << last.err;
    EXPECT_EQ(last.out, "");
  }
};

TEST_F(MegcxcBenchTest, ListsEveryStepInOrderWithTimingsAndResultFiguresAndRunsOnlyTheNamedOnes) {
  ASSERT_TRUE(ok({"--threads", "3", "--sensors", "8", "--time", "3", "--freq", "4", "--repeat", "1", "--json"}));
  EXPECT_EQ(last.err, "");
  std::vector<std::string> order;
  std::map<std::string, std::string> steps;
  std::istringstream lines(last.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find("{\"id\": \"");
    if (at == std::string::npos) continue;
    order.push_back(line.substr(at + 8, line.find('"', at + 8) - at - 8));
    steps[order.back()] = line;
  }
  EXPECT_EQ(order, (std::vector<std::string>{"init_fill", "magnitude", "phase", "scale", "accumulate_time",
                                             "class_summary", "act_ctl", "rms_normalise", "freq_report", "save_memory",
                                             "load_memory", "save_file", "load_file"}));
  for (const auto& [id, line] : steps) EXPECT_GE(field(line, "seconds"), 0.0) << id;
  cxc_test::expectHas(steps["save_file"], {"\"limit\": \"write\""});
  cxc_test::expectHas(steps["load_file"], {"\"limit\": \"read\""});

  // The figures of steps that keep the sum of the real and imaginary cells
  // (or scale it): the bench times the operations it names on the data it built.
  double sum = 0;
  for (int p = 0; p < kS * kS; ++p)
    for (int k = 0; k < kT * kF; ++k) sum += re(p / kS, p % kS, k) + im(p / kS, p % kS, k);
  const double cells = kS * kS * kT * kF;
  const std::pair<const char*, double> checks[] = {{"init_fill", sum},
                                                   {"scale", 1.5 * sum},
                                                   {"accumulate_time", sum / kT},
                                                   {"load_memory", sum},
                                                   {"load_file", sum}};
  for (const auto& [id, expected] : checks) {
    EXPECT_NEAR(field(steps[id], "check"), expected, 1e-9 * (1.0 + std::fabs(expected))) << id;
  }
  EXPECT_EQ(field(steps["save_memory"], "check"), field(steps["save_file"], "check"));
  EXPECT_GT(field(steps["save_file"], "check"), 4.0 * cells * 8.0);  // working and raw real/imaginary cells

  ASSERT_TRUE(ok({"--sensors", "4", "--time", "2", "--freq", "2", "--repeat", "1", "--only", "phase,load_file"}));
  cxc_test::expectHas(last.out, {"megcxc-bench: 4 x 4 sensor pairs", "\nphase ", "\nload from file "});
  EXPECT_EQ(last.out.find("magnitude"), std::string::npos) << last.out;
}

TEST_F(MegcxcBenchTest, BadUsageExitsWithTwoAndARefusedSizeWithOne) {
  expectError({"--only", "magnitude,nosuch"}, 2, "unknown step 'nosuch'");
  expectError({"--time", "1"}, 2, "--time");
  expectError({"--threads", "-1"}, 2, "--threads");
  expectError({"--nosuch"}, 2, "--nosuch");
  // Far more memory than any machine has: refused before anything is built.
  expectError({"--sensors", "512", "--time", "4096", "--freq", "4096"}, 1, "MB would be needed");
}

}  // namespace
