// How cxc fails: bad usage (exit 2), missing, truncated and foreign files
// (exit 1 with one line naming the file), and outputs that are never created
// or damaged by a failure.
#include <gtest/gtest.h>

#include "cxc_test_support.h"
#include "support/bytes.h"

using cxc_test::CxcRun;
using megcxc::test::Bytes;

namespace {

class CxcErrorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_CXC();
    const CxcRun r = cxc({"demo", "--sensors", "3", "--time", "3", "--freq", "4", "-o", "good.cxc"});
    ASSERT_EQ(r.code, 0) << r.err;
    good = cxc_test::readBytes(dir / "good.cxc");
  }
  CxcRun cxc(const std::vector<std::string>& args) { return cxc_test::runCxc(args, dir.path()); }

  // Exit `code`, a single "cxc: ..." line on stderr containing `what`.
  void expectFailure(const std::vector<std::string>& args, int code, const std::string& what) {
    const CxcRun r = cxc(args);
    EXPECT_EQ(r.code, code) << r.err;
    EXPECT_EQ(r.err.rfind("cxc: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
  }

  cxc_test::ScratchDir dir;
  std::vector<uint8_t> good;
};

TEST_F(CxcErrorTest, BadUsageExitsWithTwo) {
  expectFailure({}, 2, "subcommand");
  expectFailure({"info"}, 2, "FILE is required");
  expectFailure({"info", "good.cxc", "--bogus"}, 2, "--bogus");
  expectFailure({"report", "good.cxc"}, 2, "--class is required");
  expectFailure({"report", "good.cxc", "--class", "passive"}, 2, "passive");
  expectFailure({"process", "good.cxc", "-o", "x.cxc"}, 2, "no processing step");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--magnitude=loud"}, 2, "--magnitude: 'loud'");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--scale", "two"}, 2, "--scale: 'two' is not a number");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--root-strip", "3", "1", "2"}, 2, "END (exclusive)");
  expectFailure({"demo", "--sensors", "1"}, 2, "--sensors");
  EXPECT_FALSE(cxc_test::fileExists(dir / "x.cxc"));
}

TEST_F(CxcErrorTest, EverySubcommandHasHelp) {
  for (const char* sub : {"demo", "info", "report", "process", "export", "import", "upgrade"}) {
    const CxcRun r = cxc({sub, "--help"});
    EXPECT_EQ(r.code, 0) << sub;
    EXPECT_NE(r.out.find("Usage:"), std::string::npos) << sub;
  }
}

TEST_F(CxcErrorTest, MissingTruncatedAndForeignFilesAreRefused) {
  expectFailure({"info", "absent.cxc"}, 1, "absent.cxc: cannot open");

  std::vector<uint8_t> half(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2));
  cxc_test::writeBytes(dir / "half.cxc", half);
  expectFailure({"info", "half.cxc"}, 1, "half.cxc: truncated or damaged collection file");

  cxc_test::writeBytes(dir / "text.cxc", std::vector<uint8_t>(200, 'x'));
  expectFailure({"report", "text.cxc", "--class", "active"}, 1, "text.cxc: not a cxc collection or trial archive");

  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  cxc_test::writeBytes(dir / "longer.cxc", longer);
  expectFailure({"export", "longer.cxc", "-o", "e"}, 1, "1 unexpected byte(s) after its end");
}

TEST_F(CxcErrorTest, UnknownVersionsShowTheLibraryMessage) {
  cxc_test::writeBytes(dir / "v.cxc", Bytes().str("SPCTM_CXC_FACEZQ").i32(20990101).i32(0).bytes());
  const CxcRun face = cxc({"info", "v.cxc"});
  EXPECT_EQ(face.code, 1);
  EXPECT_NE(face.err.find("cxc: Wrong spectral data face format!!?\n"), std::string::npos) << face.err;
  EXPECT_NE(face.err.find("v.cxc: the library refused the collection file"), std::string::npos);

  cxc_test::writeBytes(dir / "v.trl", Bytes().str("SPCTM_CXC_TRIALZQ").i32(20000101).bytes());
  const CxcRun trial = cxc({"upgrade", "v.trl", "w.trl"});
  EXPECT_EQ(trial.code, 1);
  EXPECT_NE(trial.err.find("Wrong trial spectral file format!!?"), std::string::npos) << trial.err;
  EXPECT_FALSE(cxc_test::fileExists(dir / "w.trl"));
}

TEST_F(CxcErrorTest, FailedCommandsNeverCreateOrDamageTheirOutput) {
  cxc_test::writeBytes(dir / "half.cxc", std::vector<uint8_t>(good.begin(), good.begin() + 100));
  expectFailure({"process", "half.cxc", "-o", "out.cxc", "--phase"}, 1, "half.cxc");
  expectFailure({"upgrade", "half.cxc", "out.cxc"}, 1, "half.cxc");
  EXPECT_FALSE(cxc_test::fileExists(dir / "out.cxc"));

  // A refused step on an existing output: the old output stays as it was.
  cxc_test::writeBytes(dir / "out.cxc", good);
  expectFailure({"process", "good.cxc", "-o", "out.cxc", "--class", "control", "--accumulate", "time"}, 1,
                "over time was refused");
  EXPECT_EQ(cxc_test::readBytes(dir / "out.cxc"), good);

  // The output folder does not exist: the write fails and names the output.
  expectFailure({"upgrade", "good.cxc", "no/such/dir/out.cxc"}, 1, "no/such/dir/out.cxc");
}

}  // namespace
