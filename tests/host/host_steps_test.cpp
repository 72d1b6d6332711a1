// The processing steps every front end runs: their refusals (a missing
// dataset, missing planes, a declined question) change nothing and say why;
// the active-control step leaves a fully described result; the library's
// messages reach the host's handler and the outcome.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "face/face_helpers.h"
#include "host/describe.h"
#include "host/names.h"
#include "host/steps.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::test {
namespace {

using namespace megcxc::host;

class HostStepsTest : public FaceTest {
 protected:
  // Active 2 x 3 sensors of 3 x 4 cells on a 4 .. 10 Hz axis, CWT,
  // "Accumulate", channel numbers 10 + r / 20 + c; control of 2 x 4 cells.
  void makeActiveAndControl() {
    CSpctmTrlCCDatazq& a = make(0, 2, 3, 3, 4, randomCells(3));
    a.freqFirstHz = 4.0, a.freqLastHz = 10.0, a.freqStepHz = 2.0, a.timeStep = 25;
    a.cmptType = 0, a.storeType = 1, a.cxcType = "Cross-spectrum";
    forEachPair(a, [](int64_t r, int64_t c, CSpctmChnChnDatazq& p) { p.chnA = 10 + r, p.chnB = 20 + c; });
    make(1, 2, 3, 2, 4, randomCells(4));
    // The plane flags as the library's own checks leave them, so that a
    // byte comparison sees the data alone.
    for (int c = 0; c < 2; ++c) face.trialByClass[c]->checkDataIntegraty();
  }
};

TEST_F(HostStepsTest, ActiveControlGivesTheResultTheActiveDescriptionAndADeclinedQuestionChangesNothing) {
  makeActiveAndControl();
  const std::vector<uint8_t> before = store(face);
  MessageRecorder shown(IDYES);  // the host's handler would agree; the step's consent decides
  Outcome no = applyStep(face, actCtlStep(0, Consent::no));
  EXPECT_FALSE(no);
  EXPECT_EQ(no.refusal, Refusal::declined);
  ASSERT_EQ(no.answered.size(), 1u);
  EXPECT_EQ(no.answered[0], "This operation requires Control dataset has 1 time-slice -> No");
  EXPECT_TRUE(shown.texts().empty()) << "a question the consent answers is not passed on";
  EXPECT_EQ(store(face), before);

  const Outcome yes = applyStep(face, actCtlStep(0, Consent::yes));
  ASSERT_TRUE(yes) << yes.text;
  EXPECT_EQ(yes.text, "active-control A-C");
  CSpctmTrlCCDatazq& a = *face.trialByClass[0];
  CSpctmTrlCCDatazq* r = face.trialByClass[2];
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->trialName.toUtf8(), "Act-Ctl CxC");
  EXPECT_EQ(r->cxcType.toUtf8(), "Cross-spectrum");
  EXPECT_EQ(r->storeType, 1);
  EXPECT_EQ(r->timeStep, 25);
  EXPECT_DOUBLE_EQ(r->getSpctmFreq4FreqIndex(3), a.getSpctmFreq4FreqIndex(3));
  EXPECT_EQ(r->pairMatrix[1][2].chnA, 11);
  EXPECT_EQ(r->pairMatrix[1][2].chnB, 22);
  EXPECT_FALSE(statisticsReport(*face.trialByClass[2], false, 0).IsEmpty());
  EXPECT_FALSE(statisticsReport(*face.trialByClass[2], true, 0).IsEmpty());

  // A reused result keeps the name a user gave it.
  face.trialByClass[2]->trialName = "mine";
  ASSERT_TRUE(applyStep(face, actCtlStep(1, Consent::no)));
  EXPECT_EQ(face.trialByClass[2]->trialName.toUtf8(), "mine");
}

TEST_F(HostStepsTest, RefusedStepsSayWhyAndChangeNothing) {
  make(0, 2, 2, 2, 3, randomCells(5));
  // No power/phase plane in one pair: log of that plane is refused for the count of such pairs.
  CSpctmChnChnDatazq& p = face.trialByClass[0]->pairMatrix[1][0];
  CSpctmBasicx::freeBufferF2d(p.timePt, p.freqPt, p.plane[2]);
  face.trialByClass[0]->checkDataIntegraty();
  const std::vector<uint8_t> before = store(face);
  MessageRecorder quiet;
  struct Case {
    Step step;
    Refusal why;
    std::string text;
  };
  const Case cases[] = {
      {logStep(2), Refusal::missingPlane, "1 pair(s) of the active dataset have no power plane"},
      {magnitudeStep(0, 1), Refusal::noDataset, "the collection holds no control dataset"},
      {actCtlStep(0, Consent::yes), Refusal::noDataset, "needs both an active and a control dataset"},
      {rmsNormaliseStep(2), Refusal::noDataset, "the collection holds no act-ctl dataset"},
      {magnitudeStep(7), Refusal::library, "unknown mode or axis 7"},
      {accumulateStep(-1), Refusal::library, "unknown mode or axis -1"},
      {actCtlStep(4, Consent::yes), Refusal::library, "unknown active-control operation 4"},
  };
  for (const Case& c : cases) {
    const Outcome o = applyStep(face, c.step);
    EXPECT_FALSE(o) << c.text;
    EXPECT_EQ(o.refusal, c.why) << c.text;
    EXPECT_NE(o.text.find(c.text), std::string::npos) << o.text << " / expected " << c.text;
  }
  EXPECT_EQ(store(face), before);
}

TEST_F(HostStepsTest, StepsRunOnTheAimedDatasetsAndSayWhatTheyDid) {
  makeActiveAndControl();
  const double re = face.trialByClass[1]->pairMatrix[0][1].plane[0][1][2];
  const double im = face.trialByClass[1]->pairMatrix[0][1].plane[1][1][2];
  const double activeBefore = face.trialByClass[0]->pairMatrix[0][1].plane[2][1][2];
  const Outcome o = applyStep(face, magnitudeStep(0, 1));
  ASSERT_TRUE(o);
  EXPECT_EQ(o.text, "magnitude (plain) on control");
  EXPECT_DOUBLE_EQ(face.trialByClass[1]->pairMatrix[0][1].plane[2][1][2], std::hypot(re, im));
  EXPECT_EQ(face.trialByClass[0]->pairMatrix[0][1].plane[2][1][2], activeBefore);

  EXPECT_EQ(applyStep(face, scaleStep(2.0)).text, "scaled by 2 on active, control");
  EXPECT_EQ(applyStep(face, summariesStep(0)).text, "summaries (3 records) on active");
  EXPECT_TRUE(face.trialByClass[0]->summaryByDataType[2].isComputed);
  EXPECT_EQ(applyStep(face, accumulateStep(0, 1)).text, "collapsed over time on control");
  EXPECT_EQ(face.trialByClass[1]->timePt, 1);
  EXPECT_EQ(applyStep(face, restoreRawStep(0)).text, "raw data restored in 6 pairs on active");
}

}  // namespace
}  // namespace megcxc::test
