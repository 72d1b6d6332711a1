// The standalone manager's host window: demo collection, save and open, and a
// file that fails to load.
#include <fstream>

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/message_recorder.h"
#include "ui/app/host_window.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"

namespace megcxc::test {
namespace {

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

TEST_F(HostWindowTest, SavedDemoCollectionOpensAgainAndManagerShowsIt) {
  ASSERT_EQ(face.getTotalSpctmDataSets(), 2);
  EXPECT_EQ(face.trialByClass[0]->timePt, 10);
  EXPECT_DOUBLE_EQ(face.trialByClass[0]->getSpctmFreq4FreqIndex(19), 40.0);
  ASSERT_NE(host.managerWindow(), nullptr);
  EXPECT_EQ(shown(), face.trialByClass[0]);
  EXPECT_EQ(face.managerDlg->listPairs->rowCount(), 16);

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

TEST_F(HostWindowTest, FileThatFailsToLoadLeavesCollectionAsItWas) {
  CSpctmTrlCCDatazq* active = face.trialByClass[0];
  std::ofstream(file("bad.cxc").toStdString(), std::ios::binary) << "not a collection";
  for (const char* name : {"bad.cxc", "missing.cxc"}) {
    messages.clear();
    EXPECT_FALSE(host.openFile(file(name))) << name;
    EXPECT_FALSE(messages.texts().empty()) << name;
    EXPECT_EQ(face.trialByClass[0], active) << name;
    EXPECT_EQ(face.getTotalSpctmDataSets(), 2) << name;
    EXPECT_EQ(shown(), active) << name;
  }
}

}  // namespace
}  // namespace megcxc::test
