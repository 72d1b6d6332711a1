#include <gtest/gtest.h>

#include "platform/alloc_hook.h"
#include "platform/cdialog.h"
#include "platform/message_box.h"
#include "support/message_recorder.h"

TEST(MessageBox, DefaultHandlerAnswersOkOrNo) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(AfxMessageBox("Has enough memory?", MB_OK), IDOK);
  EXPECT_EQ(AfxMessageBox("This operation requires Control dataset has 1 time-slice", MB_YESNO), IDNO);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("Has enough memory?"), std::string::npos);
}

TEST(MessageBox, HandlerIsReplacedAndRestored) {
  {
    megcxc::test::MessageRecorder rec(IDYES);
    EXPECT_EQ(AfxMessageBox("question?", MB_YESNO), IDYES);
    ASSERT_EQ(rec.texts().size(), 1u);
    EXPECT_EQ(rec.texts()[0], "question?");
    EXPECT_EQ(rec.types()[0], MB_YESNO);
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(AfxMessageBox("after", MB_YESNO), IDNO);
  testing::internal::GetCapturedStderr();
}

TEST(ProgressDialog, RecordsPostedMessages) {
  CDialog dlg(false);
  EXPECT_FALSE(dlg.IsWindowVisible());
  dlg.setVisible(true);
  EXPECT_TRUE(dlg.PostMessage(WM_APP + 9, 0, 0));
  ASSERT_EQ(dlg.posted().size(), 1u);
  EXPECT_EQ(dlg.posted()[0].message, 0x8009u);
}

TEST(AllocationHook, FailsExactlyTheNthAllocation) {
  {
    megcxc::AllocationFailureScope fail(3);
    void* a = megcxc::xmalloc(8);
    int* b = megcxc::xnewArray<int>(4);
    void* c = megcxc::xmalloc(8);
    void* d = megcxc::xmalloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(megcxc::countedAllocations(), 4);
    std::free(a);
    delete[] b;
    std::free(d);
  }
  {
    megcxc::AllocationFailureScope fail(2, true);
    void* a = megcxc::xmalloc(8);
    EXPECT_EQ(megcxc::xmalloc(8), nullptr);
    EXPECT_EQ(megcxc::xnew<int>(1), nullptr);
    std::free(a);
  }
  void* e = megcxc::xmalloc(8);
  EXPECT_NE(e, nullptr);
  std::free(e);
}

TEST(AllocationHook, UnrepresentableSizesAreRefused) {
  EXPECT_EQ(megcxc::checkedBytes(int64_t{1} << 40, int64_t{1} << 40, 8), SIZE_MAX);
  EXPECT_EQ(megcxc::checkedBytes(-1, 4, 8), SIZE_MAX);
  EXPECT_EQ(megcxc::checkedBytes(3, 4, 8), 96u);
  EXPECT_EQ(megcxc::xnewArray<double>(-1), nullptr);
  EXPECT_EQ(megcxc::xnewArray<double>(int64_t{1} << 62), nullptr);
}
