// The command line's behaviour at its edges: requests that cannot fit are
// refused before allocating, failed exports leave nothing behind, reports
// refuse data they would misdescribe, options are never ignored silently, and
// a library refusal leads with the tool's own line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cxc_test_support.h"
#include "face/meg_spctm_cc_data_facezq.h"
#include "host/collection_file.h"
#include "spectral/spctm_basicx.h"

using namespace cxc_test;

namespace {

namespace fs = std::filesystem;

class CxcEdgesTest : public CxcTest {
 protected:
  void SetUp() override {
    CxcTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(ok({"demo", "--sensors", "4", "--time", "3", "--freq", "5", "-o", "good.cxc"}));
  }
};

TEST_F(CxcEdgesTest, ADemoBeyondTheMachinesMemoryIsRefusedAtOnce) {
  expectFailure({"demo", "--sensors", "512", "--time", "4096", "--freq", "4096", "-o", "huge.cxc"}, 1,
                "huge.cxc: the demo needs about", "huge.cxc");
  expectHas(last.err, {"MB are available"});
}

// A file size limit makes the CSV writer fail part-way: the export ends with
// exit 1 and removes every file it wrote, and the folder when it made it.
TEST_F(CxcEdgesTest, AFailedExportRemovesWhatItWrote) {
  last = cxcAfter("ulimit -f 16; exec ", {"export", "good.cxc", "-o", "new", "--format", "csv"});
  EXPECT_EQ(last.code, 1) << last.err;
  expectHas(last.err, {"cannot write"});
  EXPECT_FALSE(fs::exists(dir / "new"));
  fs::create_directories(dir / "old");
  last = cxcAfter("ulimit -f 16; exec ", {"export", "good.cxc", "-o", "old", "--format", "csv"});
  EXPECT_EQ(last.code, 1);
  EXPECT_TRUE(fs::is_empty(dir / "old"));
  // A refused export writes nothing at all: the active dataset of an
  // imported array has no power plane, and it is checked before act-ctl is
  // written.
  writeNpy(dir / "a.npy", "<c16", {2, 2, 3, 4}, std::vector<double>(96, 0.5));
  ASSERT_TRUE(ok({"import", "imported.cxc", "--class", "active", "--data", "a.npy"}));
  ASSERT_TRUE(ok({"import", "imported.cxc", "--class", "act-ctl", "--data", "a.npy"}));
  ASSERT_TRUE(ok({"process", "imported.cxc", "-o", "imported.cxc", "--class", "act-ctl", "--magnitude"}));
  expectFailure({"export", "imported.cxc", "-o", "none", "--class", "act-ctl", "--class", "active", "--type", "power"}, 1,
                "imported.cxc: the active dataset has no power plane");
  EXPECT_FALSE(fs::exists(dir / "none"));
  ASSERT_TRUE(ok({"export", "good.cxc", "-o", "fine", "--format", "csv"}));
  EXPECT_TRUE(fs::exists(dir / "fine/manifest.json"));
}

TEST_F(CxcEdgesTest, ReportsRefuseAMissingPlaneAndPairsOffTheGrid) {
  writeNpy(dir / "a.npy", "<c16", {2, 2, 3, 4}, std::vector<double>(96, 0.5));
  ASSERT_TRUE(ok({"import", "raw.cxc", "--class", "control", "--data", "a.npy"}));
  expectFailure({"report", "raw.cxc", "--class", "control", "--type", "power"}, 1,
                "raw.cxc: the control dataset has no power plane");
  ASSERT_TRUE(ok({"report", "raw.cxc", "--class", "control", "--type", "real"}));

  // One pair collapsed on its own no longer matches the dataset's grid.
  megcxc::host::Collection c;
  megcxc::host::loadCollectionFile(dir / "good.cxc", c);
  CSpctmChnChnDatazq& pair = c.trialByClass[0]->pairMatrix[1][2];
  pair.timePt = 2;
  megcxc::host::saveCollectionFile(dir / "odd.cxc", c);
  expectFailure({"report", "odd.cxc", "--class", "active"}, 1, "1 pair(s) of the active dataset differ from its 3 x 5 grid");
}

TEST_F(CxcEdgesTest, OptionsAreNeverIgnoredSilently) {
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--magnitude", "--class", "control"}, 2,
                "--class aims the steps given after it", "x.cxc");
  expectFailure({"process", "good.cxc", "-o", "x.cxc", "--log", "--type", "real"}, 2, "--type aims", "x.cxc");
  ASSERT_TRUE(ok({"info", "good.cxc", "--threads", "1"}));
  ASSERT_TRUE(ok({"--threads", "1", "info", "good.cxc"}));
  ASSERT_TRUE(ok({"--version"}));
  expectHas(last.out, {"cxc (megcxc) "});
}

// Loads, steps and saves draw a bar on a terminal (script(1) gives cxc one),
// cleared before the results print; into a pipe nothing extra is written.
TEST_F(CxcEdgesTest, LoadsStepsAndSavesShowProgressOnlyOnATerminal) {
  ASSERT_TRUE(ok({"process", "good.cxc", "-o", "piped.cxc", "--magnitude"}));
  EXPECT_EQ(last.err, "");
  if (std::system("script -qec true /dev/null >/dev/null 2>&1 </dev/null") != 0) GTEST_SKIP() << "no script(1)";
  const std::string command = "cd '" + dir.path + "' && script -qec \"'" CXC_BINARY
                              "' process good.cxc -o tty.cxc --magnitude\" /dev/null </dev/null >tty.out 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<uint8_t> bytes = readBytes(dir / "tty.out");
  const std::string text(bytes.begin(), bytes.end());
  expectHas(text, {"loading good.cxc", "saving tty.cxc", " MB\x1b[K",
                   "step 1 of 1            [##############################] 12/12"});
  // Each bar is cleared before the next line of results.
  EXPECT_LT(text.rfind("step 1 of 1"), text.find("\r\x1b[K 1. ")) << text;
  EXPECT_LT(text.rfind("saving tty.cxc"), text.find("\r\x1b[Ksaved tty.cxc")) << text;
  EXPECT_EQ(readBytes(dir / "tty.cxc"), readBytes(dir / "piped.cxc"));
}

}  // namespace
