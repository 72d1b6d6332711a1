// Allocation-failure sweeps of the collection: class summary, active-control
// operation and the collection reader, each run once per allocation with
// exactly that allocation failing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "face/face_helpers.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

namespace fs = std::filesystem;

const SweepOutcome kNoArray = returns(0, {"Has enough memory?"});

TEST(FaceSweep, ClassSummaryFailureLeavesTheSummaryEmpty) {
  // The summary's six arrays, allocated in field order.
  sweep(std::vector<SweepOutcome>(6, kNoArray), returns(1), [](int64_t nth, int64_t* made) {
    Collection face;
    fillDataset(*face.getCCSpctmTrlData4Class(true, 0), 2, 2, 2, 3, randomCells(3));
    const SweepOutcome o = runFailing(nth, [&] { return face.cmpSumCCSpctmData(nullptr, 0, 1) != nullptr; }, made);
    const CSumCCSpctmDatazq& s = face.trialByClass[0]->summaryByDataType[1];
    expectSummaryFits(s);
    if (o.result == 1) {
      EXPECT_TRUE(s.isComputed == 1 && s.pairCount == 4 && s.timePtCount == 2 && s.freqPtCount == 3);
    } else {
      EXPECT_TRUE(s.cellMin == nullptr && s.cellRms == nullptr && s.isComputed == 0 && s.timePtCount == 0);
    }
    return o;
  });
}

TEST(FaceSweep, ActiveControlFailureStopsAfterTheStepsDone) {
  // Active 2 x 1 pairs of 2 x 2 cells, control 2 x 1 pairs of 3 x 2 cells,
  // all three planes, the control without raw backups. The control is
  // collapsed over time in place (per pair three new raw planes), then the
  // active-control dataset is created and shaped like the active one (table;
  // per row: the row, per pair three planes).
  const std::string ask = "This operation requires Control dataset has 1 time-slice";
  std::vector<SweepOutcome> plan(6, returns(0, {ask, "Has enough memory?", "Control dataset accumulating failed!"}));
  plan.push_back(returns(0, {ask, "This operation requires more memory"}));
  for (const SweepOutcome& o : matrixPlan(2, 3, returns(0, {ask, "Is memory enough?!"}), returns(0, {ask}),
                                          returns(0, {ask, "Has enough memory?"})))
    plan.push_back(o);

  sweep(plan, returns(1, {ask}), [](int64_t nth, int64_t* made) {
    Collection face;
    fillDataset(*face.getCCSpctmTrlData4Class(true, 0), 2, 1, 2, 2, randomCells(4));
    CSpctmTrlCCDatazq& control = *face.getCCSpctmTrlData4Class(true, 1);
    fillDataset(control, 2, 1, 3, 2, randomCells(5));
    for (int64_t r = 0; r < 2; ++r) control.pairMatrix[r][0]._cleanBkSpctmData();
    const SweepOutcome o = runFailing(nth, [&] { return face.doAct_Ctl_operation(); }, made, IDYES);
    const CSpctmTrlCCDatazq* ctl = face.trialByClass[1];
    const CSpctmTrlCCDatazq* out = face.trialByClass[2];
    for (const CSpctmTrlCCDatazq* ds : face.trialByClass) {
      if (ds != nullptr) expectTrialFits(*ds);
    }
    EXPECT_EQ(ctl->timePt, nth >= 1 && nth <= 6 ? 3 : 1);
    EXPECT_EQ(out != nullptr, nth == 0 || nth >= 8);
    if (out != nullptr) {
      EXPECT_EQ(out->pairMatrix != nullptr, o.result == 1);
    }
    return o;
  });
}

class CollectionReaderSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("megcxc_face_sweep_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // An active dataset of one pair without planes and a real summary of
    // six zeroed 1 x 2 arrays.
    Collection source;
    CSpctmTrlCCDatazq& ds = *source.getCCSpctmTrlData4Class(true, 0);
    ASSERT_EQ(ds.checkInitSpctmCCData(1, 1, 1, 2, true, 0, 0, nullptr, nullptr), 1);
    ds.pairMatrix[0][0]._cleanSpctmData();
    ASSERT_EQ(ds.summaryByDataType[0].checkInit(1, 2), 1);
    path = (dir / "sweep.cxc").string();
    ASSERT_EQ(source.saveToFile(path), 1);
    bytes = store(source);
  }
  void TearDown() override { fs::remove_all(dir); }

  // The collection the sweep loads into: a control dataset of its own.
  static void makeTarget(Collection& f) { fillDataset(*f.getCCSpctmTrlData4Class(true, 1), 1, 1, 1, 1, randomCells(6)); }

  fs::path dir;
  std::string path;
  std::vector<uint8_t> bytes;
};

// Allocations in stream order. Every failed load from the file shows first
// the message of the failure itself ("" where it shows none and only what
// follows speaks), ends with "Cannot read <path>: ..." and changes nothing.
// The archive operation itself does not look at the datasets' results, so
// after an inner failure it may read on from the middle of a dataset; what
// it leaves must still be consistent (and nothing may leak).
TEST_F(CollectionReaderSweep, FailuresKeepTheCollectionOrLeaveItConsistent) {
  const std::string noString = "Cannot read " + path + ": cannot allocate a string of ";
  const std::vector<std::string> first = {
      noString + "16 characters",  // collection magic
      noString + "7 characters",   // collection name "Unknown"
      "Cannot read " + path + ": not enough memory to create a dataset",
      noString + "17 characters",  // trial magic
      noString + "10 characters",  // trialName "Active CxC"
      noString + "4 characters",   // cxcType "None"
      noString + "9 characters",   // profile magic
      noString + "14 characters",  // real summary magic
      "Has enough memory?", "Has enough memory?", "Has enough memory?",
      "Has enough memory?", "Has enough memory?", "Has enough memory?",
      noString + "14 characters",  // imaginary summary magic
      noString + "14 characters",  // power/phase summary magic
      "Is memory enough?!",        // pair table
      "",                          // row of pairs
      noString + "11 characters",  // pair magic
  };
  Collection target;
  makeTarget(target);
  const std::vector<uint8_t> before = store(target);
  for (int64_t nth = 1; nth <= static_cast<int64_t>(first.size()); ++nth) {
    const SweepOutcome o = runFailing(nth, [&] { return target.loadFromFile(path); });
    const std::string& expected = first[static_cast<std::size_t>(nth - 1)];
    ASSERT_TRUE(o.result == 0 && !o.messages.empty()) << nth;
    EXPECT_TRUE(expected.empty() || o.messages.front() == expected) << nth << " " << o;
    EXPECT_EQ(o.messages.back().rfind("Cannot read " + path + ": ", 0), 0u) << nth;
    EXPECT_EQ(store(target), before) << nth;

    Collection f;
    makeTarget(f);
    const SweepOutcome s = runFailing(nth, [&] { return load(f, bytes); });
    EXPECT_TRUE(s.thrown == "memory" || s.result == 0 || s.result == 1) << nth << " " << s;
    for (const CSpctmTrlCCDatazq* ds : f.trialByClass)
      if (ds != nullptr) expectTrialFits(*ds);
    // Until the header is accepted the collection keeps its datasets.
    EXPECT_TRUE(nth != 1 || (f.trialByClass[1] != nullptr && f.trialByClass[1]->rowSnsCount == 1));
  }
  int64_t made = -1;
  EXPECT_EQ(runFailing(0, [&] { return target.loadFromFile(path); }, &made), returns(1));
  EXPECT_EQ(made, static_cast<int64_t>(first.size()));
  EXPECT_TRUE(target.trialByClass[0] != nullptr && target.getTotalSpctmDataSets() == 1);
}

}  // namespace
}  // namespace megcxc::test
