// How cxc fails: bad usage (exit 2), missing, truncated and foreign files
// (exit 1 with a line naming the file), and outputs that are never created
// or damaged by a failure.
#include <gtest/gtest.h>

#include <filesystem>

#include "cxc_test_support.h"
#include "support/bytes.h"

using megcxc::test::Bytes;

namespace {

class CxcErrorTest : public cxc_test::CxcTest {
 protected:
  void SetUp() override {
    CxcTest::SetUp();
    if (IsSkipped()) return;
    const cxc_test::CxcRun r = cxc({"demo", "--sensors", "3", "--time", "3", "--freq", "4", "-o", "good.cxc"});
    ASSERT_EQ(r.code, 0) << r.err;
    good = cxc_test::readBytes(dir / "good.cxc");
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
  cxc_test::writeBytes(dir / "half.cxc", std::vector<uint8_t>(good.begin(), good.begin() + 100));
  cxc_test::writeBytes(dir / "text.cxc", std::vector<uint8_t>(200, 'x'));
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  cxc_test::writeBytes(dir / "longer.cxc", longer);
  for (const bool outputExists : {false, true}) {
    if (outputExists) cxc_test::writeBytes(dir / "out.cxc", good);
    expectFailure({"info", "absent.cxc"}, 1, "absent.cxc: cannot open");
    expectFailure({"upgrade", "half.cxc", "out.cxc"}, 1, "half.cxc: truncated or damaged collection file", "out.cxc");
    expectFailure({"process", "text.cxc", "-o", "out.cxc", "--phase"}, 1,
                  "text.cxc: not a cxc collection or trial archive", "out.cxc");
    expectFailure({"export", "longer.cxc", "-o", "e"}, 1, "1 unexpected byte(s) after its end", "e");
    // A step the library refuses: the old output stays as it was.
    expectFailure({"process", "good.cxc", "-o", "out.cxc", "--class", "control", "--accumulate", "time"}, 1,
                  "over time was refused", "out.cxc");
  }
  for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << "temporary file left behind";
  }
  // The output folder does not exist: the write fails and names the output.
  expectFailure({"upgrade", "good.cxc", "no/such/dir/out.cxc"}, 1, "no/such/dir/out.cxc");
}

TEST_F(CxcErrorTest, UnknownVersionsShowTheLibraryMessage) {
  cxc_test::writeBytes(dir / "v.cxc", Bytes().str("SPCTM_CXC_FACEZQ").i32(20990101).i32(0).bytes());
  expectFailure({"info", "v.cxc"}, 1, "cxc: Wrong spectral data face format!!?\n");
  expectFailure({"info", "v.cxc"}, 1, "v.cxc: the library refused the collection file");
  cxc_test::writeBytes(dir / "v.trl", Bytes().str("SPCTM_CXC_TRIALZQ").i32(20000101).bytes());
  expectFailure({"upgrade", "v.trl", "w.trl"}, 1, "Wrong trial spectral file format!!?", "w.trl");
}

}  // namespace
