// How cxc fails: bad usage (exit 2), missing, truncated and foreign files and
// bad import input (exit 1 with a line naming the problem), and outputs that
// are never created or damaged by a failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "cxc_test_support.h"
#include "support/bytes.h"

using namespace cxc_test;
using megcxc::test::Bytes;

namespace {

class CxcErrorTest : public CxcTest {
 protected:
  void SetUp() override {
    CxcTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(ok({"demo", "--sensors", "3", "--time", "3", "--freq", "4", "-o", "good.cxc"}));
    good = readBytes(dir / "good.cxc");
  }

  std::vector<uint8_t> good;
};

TEST_F(CxcErrorTest, BadUsageExitsWithTwoAndWritesNothing) {
  expectFailure({}, 2, "subcommand");
  expectFailure({"info"}, 2, "FILE is required");
  expectFailure({"info", "good.cxc", "--bogus"}, 2, "--bogus");
  expectFailure({"report", "good.cxc"}, 2, "--class is required");
  expectFailure({"report", "good.cxc", "--class", "passive"}, 2, "passive");
  expectFailure({"process", "good.cxc", "-o", "x.cxc"}, 2, "no processing step", "x.cxc");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--magnitude=loud"}, 2, "--magnitude: 'loud'", "x.cxc");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--scale", "two"}, 2, "--scale: 'two' is not a number", "x.cxc");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--root-strip", "3", "1", "2"}, 2, "END (exclusive)", "x.cxc");
  expectFailure({"demo", "--sensors", "1"}, 2, "--sensors");
}

TEST_F(CxcErrorTest, MissingTruncatedAndForeignFilesAreRefusedLeavingTheOutput) {
  writeBytes(dir / "half.cxc", std::vector<uint8_t>(good.begin(), good.begin() + 100));
  writeBytes(dir / "text.cxc", std::vector<uint8_t>(200, 'x'));
  for (const bool outputExists : {false, true}) {
    if (outputExists) writeBytes(dir / "out.cxc", good);
    expectFailure({"info", "absent.cxc"}, 1, "absent.cxc: cannot open");
    expectFailure({"upgrade", "half.cxc", "out.cxc"}, 1, "half.cxc: truncated or damaged file (ends at byte 100 while reading ", "out.cxc");
    EXPECT_EQ(last.err.find("memory"), std::string::npos) << last.err;
    expectFailure({"process", "text.cxc", "-o", "out.cxc", "--phase"}, 1,
                  "text.cxc: not a cxc collection or trial archive", "out.cxc");
    // A step the library refuses: the old output stays as it was.
    expectFailure({"process", "good.cxc", "-o", "out.cxc", "--class", "control", "--accumulate", "time"}, 1,
                  "over time was refused", "out.cxc");
  }
  for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
    EXPECT_NE(e.path().extension(), ".tmp") << "temporary file left behind: " << e.path();
  }
  // The output folder does not exist: the write fails and names the output.
  expectFailure({"upgrade", "good.cxc", "no/such/dir/out.cxc"}, 1, "no/such/dir/out.cxc");
}

TEST_F(CxcErrorTest, UnknownVersionsShowTheLibraryMessage) {
  writeBytes(dir / "v.cxc", Bytes().str("SPCTM_CXC_FACEZQ").i32(20990101).i32(0).bytes());
  // The tool's own line leads; the library's text follows it unchanged.
  expectFailure({"info", "v.cxc"}, 1,
                "cxc: v.cxc: the library refused the collection file\n"
                "cxc:   the library said: Wrong spectral data face format!!?\n");
  writeBytes(dir / "v.trl", Bytes().str("SPCTM_CXC_TRIALZQ").i32(20000101).bytes());
  expectFailure({"upgrade", "v.trl", "w.trl"}, 1, "Wrong trial spectral file format!!?", "w.trl");
}

TEST_F(CxcErrorTest, BadImportInputIsRefusedWithTheProblemNamedAndTheOutputKept) {
  // Checks of the axes' values: python/tests/test_errors.py.
  writeNpy(dir / "ok.npy", "<c16", {1, 1, 2, 3}, std::vector<double>(12, 1.0));
  writeNpy(dir / "int.npy", "<i4", {1, 1, 2, 3}, std::vector<double>(3, 0.0));
  writeNpy(dir / "flat.npy", "<f8", {4, 3}, std::vector<double>(12, 0.0));
  writeNpy(dir / "short.npy", "<f8", {1, 1, 2, 3}, std::vector<double>(5, 0.0));
  writeNpy(dir / "oddf.npy", "<f8", {3}, {2.0, 3.0, 7.0});
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"int.npy"}, "int.npy: dtype '<i4' is not supported"},
      {{"flat.npy"}, "flat.npy: expected a 4-D array"},
      {{"short.npy"}, "short.npy: truncated"},
      {{"ok.npy", "--freqs", "oddf.npy"}, "neither evenly spaced"},
      {{"missing.npy"}, "missing.npy: cannot open"},
  };
  // First without an output file, then with one that must stay unchanged.
  for (const bool outputExists : {false, true}) {
    if (outputExists) {
      ASSERT_TRUE(ok({"import", "out.cxc", "--class", "active", "--data", "ok.npy"}));
    }
    for (const auto& [more, what] : cases) {
      std::vector<std::string> args = {"import", "out.cxc", "--class", "active", "--data"};
      args.insert(args.end(), more.begin(), more.end());
      expectFailure(args, 1, what, "out.cxc");
    }
  }
  expectFailure({"import", "out.cxc", "--class", "active", "--data", "ok.npy", "--layout", "tsf"}, 2, "tsf", "out.cxc");
}

}  // namespace
