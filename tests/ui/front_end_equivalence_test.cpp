// The command line and the manager run the same host steps: one step
// sequence through `cxc process` and through the manager window's buttons
// gives byte-identical collection files.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <QApplication>
#include <gtest/gtest.h>

#include "host/collection_file.h"
#include "ui/manager_logic.h"
#include "ui_test_support.h"

#ifndef CXC_BINARY
#define CXC_BINARY ""
#endif

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;
using namespace megcxc::ui;

std::vector<char> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class FrontEndEquivalenceTest : public ManagerFixture {
 protected:
  FrontEndEquivalenceTest() : dir(fs::temp_directory_path() / ("megcxc-fe-" + std::to_string(::getpid()))) {
    fs::create_directories(dir);
  }
  ~FrontEndEquivalenceTest() override { fs::remove_all(dir); }

  // Active 3 x 3 sensors of 4 x 5 cells with named axes and types, control
  // of 3 x 5 cells; saved as in.cxc.
  void makeInput() {
    CSpctmTrlCCDatazq* active = addTrial(face, 0, 3, 3, 4, 5);
    addTrial(face, 1, 3, 3, 3, 5);
    active->freqFirstHz = 2.0;
    active->freqStepHz = 2.0;
    active->freqLastHz = 10.0;
    active->timeStep = 25;
    active->cxcType = "Cross-spectrum";
    active->storeType = 1;
    face.collectionName = "equivalence";
    host::saveCollectionFile(dir / "in.cxc", face);
  }

  fs::path dir;
};

TEST_F(FrontEndEquivalenceTest, TheSameStepsThroughTheCommandLineAndTheManagerGiveTheSameFile) {
  if (CXC_BINARY[0] == '\0') GTEST_SKIP() << "no cxc binary";
  makeInput();
  const std::string command = std::string("'") + CXC_BINARY + "' process '" + (dir / "in.cxc").string() + "' -o '" +
                              (dir / "cli.cxc").string() +
                              "' --magnitude --class control --accumulate time --act-ctl A-C > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  // The manager: Compute > Magnitude, the control row chosen and collapsed
  // over time, A-C=X.
  host::loadCollectionFile(dir / "in.cxc", face);
  const int shownClass = face.currentClass;
  showManager();
  press(kCmdComputeMagnitude);
  chooseTrialRow(1);
  ASSERT_EQ(face.currentClass, 1);
  press(kCmdZipTime);
  pick(dlg().comboOperation, 0);
  press(kCmdActCtl);
  EXPECT_TRUE(messages.texts().empty()) << messages.texts().front();
  // Which dataset the window shows and the row each dataset has in its list
  // are the user's view, not a step; the archive carries them too.
  face.currentClass = shownClass;
  for (CSpctmTrlCCDatazq* trial : face.trialByClass) trial->listItemId = 0;
  host::saveCollectionFile(dir / "gui.cxc", face);

  const std::vector<char> cli = fileBytes(dir / "cli.cxc");
  ASSERT_FALSE(cli.empty());
  EXPECT_TRUE(cli == fileBytes(dir / "gui.cxc")) << "the two front ends wrote different collections";
}

}  // namespace
}  // namespace megcxc::test
