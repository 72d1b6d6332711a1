// The standalone manager's host window: demo collection, save and open, and a
// file that fails to load.
#include <fstream>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/message_recorder.h"
#include "ui/app/host_window.h"
#include "ui/demo_collection.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"

namespace megcxc::test {
namespace {

class HostWindowTest : public ::testing::Test {
 protected:
  QString file(const char* name) const { return dir.filePath(name); }

  MessageRecorder messages{IDOK};
  QTemporaryDir dir;
  CManagerHostWindow host;
};

TEST_F(HostWindowTest, DemoCollectionHoldsActiveAndControlAndShowsManager) {
  ASSERT_TRUE(host.newDemoCollection());
  CMEGSpctmCCDataFacezq& face = host.collection();
  EXPECT_EQ(face.getTotalSpctmDataSets(), 2);
  ASSERT_NE(face.trialByClass[0], nullptr);
  EXPECT_EQ(face.trialByClass[0]->rowSnsCount, 16);
  EXPECT_EQ(face.trialByClass[0]->timePt, 10);
  EXPECT_EQ(face.trialByClass[0]->freqPt, 20);
  EXPECT_DOUBLE_EQ(face.trialByClass[0]->getSpctmFreq4FreqIndex(19), 40.0);
  ASSERT_NE(host.managerWindow(), nullptr);
  EXPECT_EQ(face.managerDlg->listPairs->shownTrial, face.trialByClass[0]);
  EXPECT_EQ(face.managerDlg->listPairs->rowCount(), 16);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(HostWindowTest, SavedCollectionOpensAgainAndManagerShowsTheNewDatasets) {
  ASSERT_TRUE(host.newDemoCollection());
  CMEGSpctmCCDataFacezq& face = host.collection();
  face.trialByClass[1]->trialName = "Baseline";
  ASSERT_TRUE(host.saveFile(file("demo.cxc")));
  face.deleteSpctmTrlData(1);
  host.showManager();
  ASSERT_EQ(face.getTotalSpctmDataSets(), 1);

  ASSERT_TRUE(host.openFile(file("demo.cxc")));
  ASSERT_EQ(face.getTotalSpctmDataSets(), 2);
  EXPECT_EQ(face.trialByClass[1]->trialName, "Baseline");
  EXPECT_EQ(face.collectionName, CString("Demo: alpha-band coupling"));
  CSpctmTrlCCDatazq* shown = face.managerDlg->listPairs->shownTrial;
  EXPECT_TRUE(shown == face.trialByClass[0] || shown == face.trialByClass[1]);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(HostWindowTest, FileThatFailsToLoadLeavesCollectionAsItWas) {
  ASSERT_TRUE(host.newDemoCollection());
  CMEGSpctmCCDataFacezq& face = host.collection();
  CSpctmTrlCCDatazq* active = face.trialByClass[0];
  {
    std::ofstream bad(file("bad.cxc").toStdString(), std::ios::binary);
    bad << "not a collection";
  }
  EXPECT_FALSE(host.openFile(file("bad.cxc")));
  EXPECT_FALSE(messages.texts().empty());
  EXPECT_EQ(face.trialByClass[0], active);
  EXPECT_EQ(face.getTotalSpctmDataSets(), 2);
  EXPECT_EQ(face.managerDlg->listPairs->shownTrial, active);

  messages.clear();
  EXPECT_FALSE(host.openFile(file("missing.cxc")));
  EXPECT_FALSE(messages.texts().empty());
  EXPECT_EQ(face.trialByClass[0], active);
}

}  // namespace
}  // namespace megcxc::test
