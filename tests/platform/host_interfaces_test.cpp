// What a host reaches through the umbrella header alone (it must give the
// whole core interface): message boxes and the progress dialog; and the
// allocation hook, which is internal and has headers of its own.
#include "megcxc.h"

#include <gtest/gtest.h>

#include "platform/alloc_hook.h"
#include "platform/alloc_test_hook.h"
#include "support/message_recorder.h"

// The record families and the progress dialog come with the umbrella header.
static_assert(sizeof(CSpctmTrlCCDatazq) && sizeof(CSumCCSpctmDatazq) && sizeof(CMMatrix1Dzq) && sizeof(CDialog));

TEST(MessageBox, DefaultReplacedAndRepeatedMessageFilterHandlers) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(AfxMessageBox("Has enough memory?", MB_OK), IDOK);
  EXPECT_EQ(AfxMessageBox("This operation requires Control dataset has 1 time-slice", MB_YESNO), IDNO);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Has enough memory?"), std::string::npos);
  {
    megcxc::test::MessageRecorder rec(IDYES);
    EXPECT_EQ(AfxMessageBox("question?", MB_YESNO), IDYES);
    EXPECT_TRUE(rec.only() == "question?" && rec.types()[0] == MB_YESNO);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(AfxMessageBox("after", MB_YESNO), IDNO);
  testing::internal::GetCapturedStderr();
  // The filter passes each text once and questions always.
  megcxc::test::MessageRecorder rec(IDYES);
  {
    megcxc::RepeatedMessageFilter once;
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(AfxMessageBox("Not enough memory!", MB_OK), k == 0 ? IDYES : IDOK);  // a repeat answers OK
      EXPECT_EQ(AfxMessageBox("Continue?", MB_YESNO), IDYES);
    }
    AfxMessageBox("Has enough memory?", MB_OK);
    EXPECT_TRUE(once.suppressed() == 2 && once.messages() == 4);
  }
  AfxMessageBox("Not enough memory!", MB_OK);  // the filter is gone
  EXPECT_EQ(rec.texts(), (std::vector<std::string>{"Not enough memory!", "Continue?", "Continue?", "Continue?",
                                                    "Has enough memory?", "Not enough memory!"}));
}

// Failing exactly the nth allocation is what every allocation-failure sweep
// rests on (each checks the outcome at every nth and the count made).
TEST(AllocationHook, RefusesUnrepresentableSizes) {
  void* e = megcxc::xmalloc(8);
  EXPECT_NE(e, nullptr);
  std::free(e);
  EXPECT_EQ(megcxc::checkedBytes(int64_t{1} << 40, int64_t{1} << 40, 8), SIZE_MAX);
  EXPECT_EQ(megcxc::checkedBytes(-1, 4, 8), SIZE_MAX);
  EXPECT_EQ(megcxc::checkedBytes(3, 4, 8), 96u);
  EXPECT_TRUE(!megcxc::xnewArray<double>(-1) && !megcxc::xnewArray<double>(int64_t{1} << 62));
}
