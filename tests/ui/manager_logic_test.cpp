// The toolkit-free parts of the manager (selection stepping, progress text
// parsing, pair rows outside the matrix, the demo data) and the standalone
// host window (demo collection, save and open, a file that fails to load).
// Also sets up the one QApplication of this test program.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <utility>

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"
#include "ui/app/host_window.h"
#include "host/small_demo.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"
#include "ui/manager_logic.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

// One QApplication for every GUI test (offscreen unless the caller chose another platform).
struct QtApplicationEnvironment : ::testing::Environment {
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }
  int argc = 1;
  char name[16] = "megcxc_ui_tests";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};
const auto* const registered = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

TEST(ManagerLogicTest, StepSelectionMovesTheBoxOneUpKeepingItsWidthAndWrapsAtTheEnd) {
  struct Case {
    int64_t begin, end, n, wantBegin, wantEnd;
  };
  const Case cases[] = {
      {2, 5, 10, 3, 6},                  // width kept
      {8, 9, 10, 0, 1},                  // end runs off: back to the start
      {5, 3, 10, 6, 6},                  // end below begin: a one-point box
      {-3, -2, 10, 8, 9},                // b' = -2 < 0: the box jumps to the end
      {INT64_MAX, INT64_MAX, 10, 0, 0},  // absurd stored indices stay defined
  };
  for (const Case& c : cases) {
    int64_t b = c.begin, e = c.end;
    stepSelectionUp(b, e, c.n);
    EXPECT_EQ(std::make_pair(b, e), std::make_pair(c.wantBegin, c.wantEnd)) << c.begin << ".." << c.end;
  }
  int64_t b = INT64_MIN, e = INT64_MAX;  // no overflow on the way
  stepSelectionUp(b, e, INT64_MAX);
  EXPECT_LE(b, e);
}

TEST(ManagerLogicTest, ProgressTextAndPairRowsOutsideTheMatrix) {
  int64_t total = 0, done = 0;
  ASSERT_TRUE(parseProgressText("Spectral CxC initialization(Channel::306->17)...", total, done));
  EXPECT_EQ(total, 306);
  EXPECT_EQ(done, 17);
  EXPECT_FALSE(parseProgressText("Loading", total, done));
  EXPECT_FALSE(parseProgressText("(Channel::12)", total, done));

  CSpctmTrlCCDatazq trial;
  ASSERT_EQ(trial.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  RowTexts row;
  EXPECT_TRUE(describePairRow(&trial, 1, row));
  EXPECT_FALSE(describePairRow(&trial, 2, row));
  EXPECT_FALSE(describePairRow(&trial, -1, row));
  EXPECT_EQ(row.text[6], "None");  // no imaginary plane in row 1
}

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.newDemoCollection()); }
  QString file(const char* name) const { return dir.filePath(name); }
  CSpctmTrlCCDatazq* shown() { return face.managerDlg->listPairs->shownTrial; }

  MessageRecorder messages{IDOK};
  QTemporaryDir dir;
  CManagerHostWindow host;
  CMEGSpctmCCDataFacezq& face = host.collection();
};

// The saved demo opens again; files that fail to load leave the collection as it was.
TEST_F(HostWindowTest, DemoCollectionIsSavedAndOpenedAgainAndBadFilesChangeNothing) {
  ASSERT_EQ(face.getTotalSpctmDataSets(), 2);
  EXPECT_EQ(face.trialByClass[0]->timePt, 10);
  EXPECT_DOUBLE_EQ(face.trialByClass[0]->getSpctmFreq4FreqIndex(19), 40.0);
  ASSERT_NE(host.managerWindow(), nullptr);
  EXPECT_EQ(shown(), face.trialByClass[0]);
  EXPECT_EQ(face.managerDlg->listPairs->rowCount(), 16);
  EXPECT_TRUE(messages.texts().empty());

  CSpctmTrlCCDatazq* active = face.trialByClass[0];
  std::ofstream(file("bad.cxc").toStdString(), std::ios::binary) << "not a collection";
  for (const char* name : {"bad.cxc", "missing.cxc"}) {
    EXPECT_FALSE(host.openFile(file(name))) << name;
    EXPECT_FALSE(messages.texts().empty()) << name;
    EXPECT_EQ(face.trialByClass[0], active) << name;
    EXPECT_EQ(face.getTotalSpctmDataSets(), 2) << name;
    EXPECT_EQ(shown(), active) << name;
    messages.clear();
  }

  face.trialByClass[1]->trialName = "Baseline";
  ASSERT_TRUE(host.saveFile(file("demo.cxc")));
  face.deleteSpctmTrlData(1);
  host.showManager();
  ASSERT_EQ(face.getTotalSpctmDataSets(), 1);
  ASSERT_TRUE(host.openFile(file("demo.cxc")));
  ASSERT_EQ(face.getTotalSpctmDataSets(), 2);
  EXPECT_EQ(face.trialByClass[1]->trialName, "Baseline");
  EXPECT_EQ(face.collectionName, CString("Demo: alpha-band coupling"));
  EXPECT_TRUE(shown() == face.trialByClass[0] || shown() == face.trialByClass[1]);
  EXPECT_TRUE(messages.texts().empty());
}

}  // namespace
}  // namespace megcxc::test
